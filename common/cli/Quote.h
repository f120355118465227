#pragma once
// Text taken from a file or a command line, made safe to put in a message: at
// most 80 characters between single quotes, with every byte that is not
// printable ASCII or well-formed UTF-8 written as an escape (\t, \n, \r, \0, \xHH,
// a backslash before the quote and the backslash), and "..." after the quote when the text
// was cut. Binary bytes, a NUL or a line of megabytes never reach the
// terminal raw.
#include <string>
#include <string_view>

namespace cli {

constexpr size_t kQuotedMax = 80;

std::string quote(std::string_view text, size_t maxChars = kQuotedMax);

} // namespace cli
