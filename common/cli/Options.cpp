#include "cli/Options.h"

#include "cli/Quote.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace cli {

namespace {

struct Declared {
    std::string shown;          // the name messages use
    CLI::Option* option = nullptr;
    std::vector<std::string> values;
    Options::Reader read;
    bool repeatable = false;
    bool* given = nullptr;
};

std::string firstName(const std::string& names)
{
    return names.substr(0, names.find(','));
}

} // namespace

struct Options::Impl {
    std::string program, usage;
    CLI::App app;
    std::vector<std::unique_ptr<Declared>> declared;
    std::vector<std::string>* positionals = nullptr;
    std::vector<std::string> extra; // positionals when none were declared
    bool help = false;

    Impl(std::string p, std::string u) : program(std::move(p)), usage(std::move(u)), app(program)
    {
        app.set_help_flag();
        app.add_flag("-h,--help", help);
        app.allow_extras(); // unknown options are reported by parse() below
    }

    Declared& declare(const std::string& names, Reader read, bool repeatable, bool* given)
    {
        auto d = std::make_unique<Declared>();
        d->shown = firstName(names);
        d->read = std::move(read);
        d->repeatable = repeatable;
        d->given = given;
        // One value per occurrence; every occurrence kept, so that a repeat of
        // a single-valued option can be refused by name below.
        d->option = app.add_option(names, d->values)
                        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                        ->expected(1)
                        ->allow_extra_args(false);
        declared.push_back(std::move(d));
        return *declared.back();
    }
};

Options::Options(std::string program, std::string usage) : impl_(std::make_unique<Impl>(std::move(program), std::move(usage)))
{
}

Options::~Options() = default;

const std::string& Options::program() const { return impl_->program; }
const std::string& Options::usage() const { return impl_->usage; }

void Options::single(const std::string& names, Reader read, bool* given) { impl_->declare(names, std::move(read), false, given); }

void Options::repeated(const std::string& names, Reader read) { impl_->declare(names, std::move(read), true, nullptr); }

void Options::flag(const std::string& names, bool* on) { impl_->app.add_flag(names, *on); }

void Options::text(const std::string& names, std::string* out, bool* given)
{
    single(names, [out](const std::string& v) {
        if (v.empty())
            return std::string("the file name is empty");
        *out = v;
        return std::string();
    }, given);
}

void Options::number(const std::string& names, double* out, Range range, bool* given)
{
    single(names, [out, range](const std::string& v) {
        const std::string why = readNumber(v, range, out);
        return why.empty() ? why : quote(v) + " " + why;
    }, given);
}

void Options::integer(const std::string& names, int* out, long long lo, long long hi, bool* given)
{
    single(names, [out, lo, hi](const std::string& v) {
        long long n = 0;
        const std::string why = readInteger(v, lo, hi, &n);
        if (!why.empty())
            return quote(v) + " " + why;
        *out = static_cast<int>(n);
        return std::string();
    }, given);
}

void Options::choice(const std::string& names, const std::vector<std::string>& words, std::string* out, bool* given)
{
    single(names, [out, words](const std::string& v) {
        std::string list;
        for (size_t i = 0; i < words.size(); ++i) {
            if (v == words[i]) {
                *out = v;
                return std::string();
            }
            list += (i == 0 ? "'" : i + 1 == words.size() ? " or '" : ", '") + words[i] + "'";
        }
        return "expected " + list + ", got " + quote(v);
    }, given);
}

void Options::positionals(std::vector<std::string>* out) { impl_->positionals = out; }

Options::Outcome Options::parse(const std::vector<std::string>& args, std::string* error)
{
    Impl& m = *impl_;
    auto refuse = [&](const std::string& why) {
        if (error)
            *error = why;
        return Outcome::Refused;
    };
    std::vector<std::string>& rest = m.positionals ? *m.positionals : m.extra;
    m.app.add_option("arguments", rest);
    // CLI11 parses a reversed vector (it pops from the back).
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        m.app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        if (m.help)
            return Outcome::Help;
        std::string why = e.what();
        for (const auto& d : m.declared) {
            const std::string name = d->option->get_name();
            if (why.compare(0, name.size() + 1, name + ":") == 0)
                return refuse(d->shown + ": a value is missing");
        }
        // A flag given a value that is not a truth value ("--quiet=x"):
        // CLI11's message would repeat every occurrence of the flag and the
        // value raw.
        const std::string flagValue = "Could not convert: ";
        if (why.compare(0, flagValue.size(), flagValue) == 0) {
            const size_t end = why.find(' ', flagValue.size());
            return refuse(why.substr(flagValue.size(), end == std::string::npos ? end : end - flagValue.size())
                          + " takes no value");
        }
        // Anything else: CLI11's own words, made safe and short, since they
        // may quote the arguments.
        return refuse(quote(why, 200));
    }
    if (m.help)
        return Outcome::Help;
    for (const std::string& x : m.app.remaining())
        if (x.size() > 1 && x[0] == '-')
            return refuse("unknown option " + quote(x));
    // Anything else CLI11 left over is an argument without an option.
    for (const std::string& x : m.app.remaining())
        rest.push_back(x);
    for (const auto& d : m.declared) {
        if (!d->repeatable && d->values.size() > 1)
            return refuse(d->shown + " is given twice");
        if (d->given)
            *d->given = !d->values.empty();
        for (const std::string& v : d->values) {
            const std::string why = d->read(v);
            if (!why.empty())
                return refuse(d->shown + ": " + why);
        }
    }
    if (!m.positionals && !m.extra.empty())
        return refuse("unexpected argument " + quote(m.extra.front()));
    return Outcome::Run;
}

int finishParse(const Options& options, Options::Outcome outcome, const std::string& error, std::ostream& out,
                std::ostream& err)
{
    switch (outcome) {
    case Options::Outcome::Help:
        out << options.usage();
        out.flush();
        return kExitOk;
    case Options::Outcome::Refused:
        err << options.program() << ": " << error << "\n" << options.usage();
        err.flush();
        return kExitBadInput;
    case Options::Outcome::Run:
        break;
    }
    return -1;
}

} // namespace cli
