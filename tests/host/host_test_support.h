// A scratch folder removed with everything in it when the test ends.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class CScratchFolder {
public:
    CScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        path = mkdtemp(buffer.data()) ? buffer.data() : "";
    }
    ~CScratchFolder()
    {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    const std::string& Path() const { return path; }

private:
    std::string path;
};

inline void WriteWholeFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a run of velmora gave: its exit status, standard output and error.
struct CRun {
    int status;
    std::string out;
    std::string err;
};

// A word for the shell, quoted so it stands for itself.
inline std::string Quote(const std::string& word)
{
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The build's folder: TESSARINE_BINARY_DIR from the environment (tests run
// against an installed tree), else the one the tests were built in.
inline std::string BinaryFolder()
{
    const char* fromEnvironment = std::getenv("TESSARINE_BINARY_DIR");
    return fromEnvironment && *fromEnvironment ? fromEnvironment : TESSARINE_BINARY_DIR;
}

// Runs velmora with arguments as the shell reads them, after the environment
// assignments (both quoted by the caller); standard error goes through
// errorPath.
// Runs a shell command: its status, standard output, and the error text it
// left in the file errorPath.
inline CRun RunShell(const std::string& command, const std::string& errorPath)
{
    CRun run{-1, "", ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, "", "popen failed"};
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadWholeFile(errorPath);
    return run;
}

inline CRun RunVelmoraShell(const std::string& environment, const std::string& arguments, const std::string& errorPath)
{
    return RunShell(environment + " " + Quote(BinaryFolder() + "/bin/velmora") + " " + arguments + " 2>" +
                        Quote(errorPath),
                    errorPath);
}

// The same with each argument quoted.
inline CRun RunVelmora(const std::string& environment, const std::vector<std::string>& arguments,
                       const std::string& errorPath)
{
    std::string words;
    for (const std::string& argument : arguments) words += " " + Quote(argument);
    return RunVelmoraShell(environment, words, errorPath);
}
