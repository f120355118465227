#pragma once
// Running a command-line tool from a test: its exit status and what it
// printed, and reading back the files it wrote.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace glyphora::test {

inline std::string slurp(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One word for the shell, whatever it holds.
inline std::string shellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct ToolRun {
    int status = -1; // exit status, -1 when the tool did not exit normally
    std::string out, err;
};

// Runs `exe` with `args`; its standard output and error pass through
// LOGS.stdout and LOGS.stderr, which are removed afterwards.
inline ToolRun runTool(const std::string& exe, const std::vector<std::string>& args,
                       const std::filesystem::path& logs)
{
    std::string cmd = shellQuote(exe);
    for (const auto& a : args)
        cmd += " " + shellQuote(a);
    const std::string out = logs.string() + ".stdout", err = logs.string() + ".stderr";
    cmd += " >" + shellQuote(out) + " 2>" + shellQuote(err);
    const int raw = std::system(cmd.c_str());
    ToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

} // namespace glyphora::test
