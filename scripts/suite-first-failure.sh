#!/bin/sh
# The whole suite in an existing build, cheapest entries first and stopping at the first failure:
# the test command for ../shared/tools/mutants (--test-cmd scripts/suite-first-failure.sh), where
# a killed mutant then costs seconds instead of the crash-recovery entry's minutes.
ctest --preset mingw64 -j2 --timeout 180 -E lifecycle_crashes --stop-on-failure &&
    ctest --preset mingw64 --timeout 180 -R lifecycle_crashes
