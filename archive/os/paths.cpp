// The path calls for programs that need no system of their own: the
// command line as given, the program's name made from its file and a full
// path from the system's resolution.
#include "path_helpers.h"
#include "program_support.h"

const std::string& ApplicationName()
{
    static const std::string name = [] {
        const std::string file = FileNameOf(ExecutableFile());
        // "Tessup.exe" and "Tessup" both give "Tessup"; a leading dot is part of the name.
        const std::size_t dot = file.find_last_of('.');
        return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
    }();
    return name;
}

std::vector<SystemPath> CommandLineArguments(int argc, const char* const argv[])
{
    std::vector<SystemPath> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

SystemPath CommandLinePath(int argc, const char* const argv[])
{
    return argc == 2 && argv[1] != nullptr ? SystemPath(argv[1]) : SystemPath();
}

SystemPath FullPathOf(const SystemPath& path)
{
    SystemPath full;
    ResolveFullPath(path, full);
    return full;
}
