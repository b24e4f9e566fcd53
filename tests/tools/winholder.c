/* A Windows program holding a table as a database engine holds one it opens for itself: opened
 * for reading and writing with no sharing, and one byte locked far past the data.
 *
 *   winholder TABLE READY-FILE
 *
 * Creates READY-FILE once the hold stands and keeps it for two minutes at most (it is meant to
 * be ended sooner). Exit 2 when the table cannot be opened, 3 when the lock is refused (another
 * program holds the table), with the Windows error on standard output.
 */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        printf("uso: winholder TABLA ARCHIVO-LISTO\n");
        return 1;
    }
    HANDLE table = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (table == INVALID_HANDLE_VALUE) {
        printf("no se abre: %lu\n", GetLastError());
        return 2;
    }
    if (!LockFile(table, 0xEFFFFFFFu, 0, 1, 0)) {
        printf("bloqueo rechazado: %lu\n", GetLastError());
        return 3;
    }
    HANDLE ready =
        CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE) {
        printf("no se crea el aviso: %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(ready);
    printf("listo\n");
    fflush(stdout);
    Sleep(120000);
    return 0;
}
