// A subcommand's options as one table: each option's name, the kind of value
// it takes, the help line that names it and what it does with its value.
// applyoptions reads the arguments by the table with the messages every
// subcommand gives: "NAME needs a value", "unknown option NAME" (usage
// errors, status 2); --help or -h prints the help and ends with status 0.
#ifndef TANNER_OPTIONTABLE_H
#define TANNER_OPTIONTABLE_H

#include <functional>
#include <string>
#include <vector>

namespace tanner {

enum class optionkind { flag, integer, real, text, list };

struct optionentry {
  const char *name;  // "--json"
  optionkind kind;   // flag: no value; every other kind takes the next argument
  const char *help;  // the help line that names the option ("" when the usage names it)
  // The option's value as given ("" for a flag); the handler parses and
  // checks it with its own messages.
  std::function<void(const std::string &value)> apply;
  // Refused with "NAME is given twice" when it comes again, before its
  // value is looked at.
  bool once = false;
  // Runs when the name comes (after the check of once), before the value is
  // looked for: checks against the options given before it.
  std::function<void()> named = nullptr;
  // The message when no value follows; null: "NAME needs a value".
  const char *missing = nullptr;
};

// A help text whose options are the table's: head, every entry's help in
// the table's order, tail.
std::string helptext(const char *head, const std::vector<optionentry> &table, const char *tail);

// How applyoptions reads what is not in the table.
struct argumentrules {
  // Whether an argument is an option; every other is positional, a name of
  // the table too. Unset: starts with '-' and is not "-" itself.
  std::function<bool(const std::string &arg)> isoption;
  // Each positional argument in order, as it comes.
  std::function<void(const std::string &arg)> positional;
  // An option the table does not hold, with the argument after it (null
  // when none follows); returns how many arguments after it it took.
  // Unset: "unknown option NAME".
  std::function<int(const std::string &arg, const char *next)> unknown;
};

// Reads argv by table: options apply their handlers, every other argument
// goes to rules.positional in order; help is printed for --help.
void applyoptions(const char *command, const char *help, const std::vector<optionentry> &table,
                  int argc, char **argv, const argumentrules &rules);
// The same with the default rules: an argument that does not start with '-'
// (or is "-" itself) goes to positional in order.
void applyoptions(const char *command, const char *help, const std::vector<optionentry> &table,
                  int argc, char **argv, std::vector<std::string> *positional);

// For a command whose help wins wherever it comes, before any fault of the
// arguments before it: when one is --help or -h, prints help and ends with
// status 0.
void helpfirst(const char *help, int argc, char **argv);

// The entry of table named name, null when there is none.
const optionentry *findoption(const std::vector<optionentry> &table, const std::string &name);

}  // namespace tanner

#endif
