// Prints the attributes a stand-in machine keeps for files of its drive C:
// (which the host's permission bits cannot hold), as a program there sees
// them with GetFileAttributesA: one Windows path a line on standard input,
// "<letters> <path>" a line out, the letters R, H, S and A of the
// attributes it has ("-" for none), "? <path>" for a file it cannot read.
// The machine is the one OVLSIM_MACHINE names.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main()
{
    char path[MAX_PATH + 2];
    while (fgets(path, sizeof path, stdin)) {
        path[strcspn(path, "\r\n")] = '\0';
        DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            printf("? %s\n", path);
            continue;
        }
        char letters[5] = "";
        const struct {
            DWORD bit;
            const char *letter;
        } known[] = {{FILE_ATTRIBUTE_READONLY, "R"},
                     {FILE_ATTRIBUTE_HIDDEN, "H"},
                     {FILE_ATTRIBUTE_SYSTEM, "S"},
                     {FILE_ATTRIBUTE_ARCHIVE, "A"}};
        for (const auto &k : known)
            if (attributes & k.bit)
                strcat(letters, k.letter);
        printf("%s %s\n", letters[0] ? letters : "-", path);
    }
    return 0;
}
