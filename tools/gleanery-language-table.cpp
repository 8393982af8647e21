// Writes the built-in English language table as a translation file (CSV), the one the program
// writes beside itself when it finds none, so an install can carry it.
//   gleanery-language-table FILE
#include "engine/services/LanguageStrings.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    TLocalizedStringSet english;
    english.LoadDefaultStrings();
    if (!english.ExportToFile(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
