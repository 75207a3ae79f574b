#pragma once

// The arguments of one `kav COMMAND`: files and options in any order,
// long options as "--name value" or "--name=value", the short forms "-o
// PATH", "-q" and "-h", and "--" ending the options. The values of the
// list options are comma-separated: labels ("10,12,e"), pairs
// ("1:3,5:7"), triples ("0:11:1" or "*:11:20"). A file-list option
// ("--plant G1 G2") takes the operands that follow it up to the next
// option as its values, one each, and "--plant=G1 G2" takes G1 too; after
// "--" the operands still go to the file-list option open before it, so
// that a file whose name starts with '-' can be given.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

struct OptionRule {
  const char* name; // long name without the dashes
  char shortName;   // 0 when there is none
  bool takesValue;  // else a switch
  bool takesFiles = false; // a file-list option: the operands after it are its values
};

struct Arguments {
  std::vector<std::string> files;                           // the operands, in order
  std::vector<std::pair<std::string, std::string>> options; // long name and value ("" for a switch), in order
};

bool hasOption(const Arguments& args, std::string_view name);
// The last value given for the option, or "" when there is none.
std::string optionValue(const Arguments& args, std::string_view name);
// Every value given for the option, in order.
std::vector<std::string> optionValues(const Arguments& args, std::string_view name);

// Splits args by the known options. Answers "" or the usage error ("unknown
// option --x", "option --x needs a value", ...).
std::string parseArguments(const std::vector<std::string>& args, const std::vector<OptionRule>& known, Arguments& out);

// A label: 0..999, or "e" for the silent label 1000.
[[nodiscard]] bool parseLabel(std::string_view text, long& label);
// A whole number in lo..hi, digits only with an optional sign.
[[nodiscard]] bool parseNumber(std::string_view text, long lo, long hi, long& value);
// "10,12,e": labels, collected ascending without repeats; "" is no label.
[[nodiscard]] bool parseLabelList(std::string_view text, EventList& out);
// "1:3,5:7": pairs of state numbers (labels when `labels` is set).
[[nodiscard]] bool parsePairList(std::string_view text, bool labels, StatePairList& out);
// "a:b:c": three fields, each checked by the caller. False when the text
// does not have exactly three fields.
[[nodiscard]] bool splitTriple(std::string_view text, std::array<std::string_view, 3>& fields);
// Pieces of text between commas.
std::vector<std::string_view> splitList(std::string_view text, char separator = ',');

} // namespace kav
