/* Opens the settings section by name from a process of its own, as the audio effect does, and
 * prints its first 611 bytes as hex on one line (or "absent <error>"). In C against the public
 * header, so a C compiler checks the header's layout too. */
#include <windows.h>

#include <stdio.h>

#include "zol_ecd_api.h"

#define SHOWN_BYTES (4 + sizeof(ControlBlock) + sizeof(EffectBlock))
ZOL_STATIC_CHECK(reader_shown_bytes, SHOWN_BYTES == 611);

int main(void) {
    HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\{372E213D-95EA-4306-A914-F50DB21A21CE}");
    const unsigned char* view = section ? (const unsigned char*)MapViewOfFile(section, FILE_MAP_READ, 0, 0, SHOWN_BYTES) : NULL;
    size_t i;
    if (view == NULL) {
        printf("absent %lu\n", GetLastError());
        return 1;
    }
    for (i = 0; i < SHOWN_BYTES; ++i) printf("%02x", view[i]);
    printf("\n");
    UnmapViewOfFile(view);
    CloseHandle(section);
    return 0;
}
