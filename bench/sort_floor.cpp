// The I/O floor of the moves of a backup sort: what any sort of a root folder
// cannot avoid once it knows where each file goes, done as tightly as one
// process can. It reads the moves, lines "SET/NAME" (the set folder and a file
// of FOLDER that goes into it), from standard input first; then, one set
// folder after the other, makes the folder, opens it once and renames each of
// its files into it with renameat2(RENAME_NOREPLACE), relative to the
// descriptors of FOLDER and of the set folder.
//
//   sort_floor FOLDER < MOVES
//
// bench/moves.sh times it, as a whole process, beside `kelvark-cli sort` of the
// same folder. Exit status 1 on the first failure, named on standard error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: sort_floor FOLDER < MOVES\n");
        return 2;
    }
    std::map<std::string, std::vector<std::string>> sets;
    for (std::string line; std::getline(std::cin, line);) {
        const std::size_t slash = line.find('/');
        if (slash == std::string::npos) {
            std::fprintf(stderr, "sort_floor: not SET/NAME: %s\n", line.c_str());
            return 2;
        }
        sets[line.substr(0, slash)].push_back(line.substr(slash + 1));
    }
    const int root = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        std::perror(argv[1]);
        return 1;
    }
    for (const auto& [set, names] : sets) {
        if (mkdirat(root, set.c_str(), 0777) != 0) {
            std::perror(set.c_str());
            return 1;
        }
        const int folder = openat(root, set.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) {
            std::perror(set.c_str());
            return 1;
        }
        for (const auto& name : names)
            if (renameat2(root, name.c_str(), folder, name.c_str(), RENAME_NOREPLACE) != 0) {
                std::fprintf(stderr, "sort_floor: %s/%s: %s\n", set.c_str(), name.c_str(), std::strerror(errno));
                return 1;
            }
        close(folder);
    }
    close(root);
    return 0;
}
