#pragma once
// The command-line conventions every tool of the project shares, over CLI11:
// - "--opt value", "--opt=value" and "-o value";
// - "-h" / "--help" prints the tool's usage text and ends with status 0;
// - an option that takes one value and is given twice is refused, never
//   "last one wins"; an option declared repeated collects every value;
// - values are read by the project's own number reader (decimal, finite, in
//   range) and every refusal names the option and quotes the value;
// - a refusal ends with status 2, the message "TOOL: why" and the usage text.
//
// Adding an option is one line:
//     opts.number("--orientation", &o.orientation, {-360, 360});
#include "cli/Number.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace cli {

class Options {
public:
    // Reads one value; returns why it is refused (a phrase that follows
    // "NAME: ", e.g. "'x' is not a number"), or an empty string.
    using Reader = std::function<std::string(const std::string& value)>;

    Options(std::string program, std::string usage);
    ~Options();
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;

    // An option with one value, given at most once. `names` is CLI11's list
    // ("-o,--output"); the first name is the one messages use. `given`, when
    // not null, tells whether the option was on the command line.
    void single(const std::string& names, Reader read, bool* given = nullptr);
    // An option that may be given any number of times, each with one value,
    // read in command-line order.
    void repeated(const std::string& names, Reader read);
    // A switch without a value (giving it twice is harmless).
    void flag(const std::string& names, bool* on);

    // Shorthands for single(): a non-empty text (a file name), a number in a
    // range, a whole number in a range, one word of a list.
    void text(const std::string& names, std::string* out, bool* given = nullptr);
    void number(const std::string& names, double* out, Range range, bool* given = nullptr);
    void integer(const std::string& names, int* out, long long lo, long long hi, bool* given = nullptr);
    void choice(const std::string& names, const std::vector<std::string>& words, std::string* out,
                bool* given = nullptr);

    // Arguments that are not options, in order.
    void positionals(std::vector<std::string>* out);

    enum class Outcome { Run, Help, Refused };
    // Parses the arguments after the program name (once per object). Refused:
    // *error names the argument and the problem (without the program name).
    Outcome parse(const std::vector<std::string>& args, std::string* error);

    const std::string& program() const;
    const std::string& usage() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The common ending of a parse: Help prints the usage on `out` and gives 0;
// Refused prints "PROGRAM: why" and the usage on `err` and gives 2; Run gives
// -1 (go on).
int finishParse(const Options& options, Options::Outcome outcome, const std::string& error, std::ostream& out,
                std::ostream& err);

// The exit statuses of every tool: done; a failure during the run (what was
// written so far is kept); bad usage or input found before anything was written.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;

} // namespace cli
