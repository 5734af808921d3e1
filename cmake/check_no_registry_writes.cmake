# cmake -DOBJDUMP=... -DIMAGE=file.exe -P check_no_registry_writes.cmake
# Fails when the image imports a function that changes the registry.
execute_process(COMMAND ${OBJDUMP} -p ${IMAGE} OUTPUT_VARIABLE imports RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot read the import table of ${IMAGE}")
endif()
foreach(fn RegSetValueExW RegSetValueExA RegCreateKeyExW RegCreateKeyExA RegDeleteKeyExW RegDeleteKeyW
        RegDeleteValueW RegDeleteTreeW RegSetKeySecurity RegSetKeyValueW)
    if(imports MATCHES "[ \t]${fn}\n")
        message(FATAL_ERROR "${IMAGE} imports ${fn}: it must not link code that writes the registry")
    endif()
endforeach()
