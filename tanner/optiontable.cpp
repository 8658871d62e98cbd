#include "optiontable.h"

#include <cstdio>
#include <set>

#include "arguments.h"
#include "exits.h"

namespace tanner {

void applyoptions(const char *command, const char *help, const std::vector<optionentry> &table,
                  int argc, char **argv, std::vector<std::string> *positional) {
  std::set<std::string> given;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (ishelp(argv[i])) {
      std::fputs(help, stdout);
      finish(statusok);
    }
    const optionentry *entry = nullptr;
    for (const optionentry &candidate : table)
      if (arg == candidate.name) entry = &candidate;
    if (entry == nullptr && arg.size() > 1 && arg[0] == '-')
      usageerror(command, "unknown option " + arg);
    if (entry != nullptr && entry->once && !given.insert(arg).second)
      usageerror(command, arg + " is given twice");
    if (entry == nullptr) {
      positional->push_back(arg);
    } else if (entry->kind == optionkind::flag) {
      entry->apply("");
    } else {
      if (i + 1 >= argc) usageerror(command, arg + " needs a value");
      entry->apply(argv[++i]);
    }
  }
}

std::string helptext(const char *head, const std::vector<optionentry> &table, const char *tail) {
  std::string text = head;
  for (const optionentry &entry : table) text += entry.help;
  return text + tail;
}

}  // namespace tanner
