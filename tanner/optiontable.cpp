#include "optiontable.h"

#include <cstdio>
#include <set>

#include "arguments.h"
#include "exits.h"

namespace tanner {

const optionentry *findoption(const std::vector<optionentry> &table, const std::string &name) {
  for (const optionentry &candidate : table)
    if (name == candidate.name) return &candidate;
  return nullptr;
}

void applyoptions(const char *command, const char *help, const std::vector<optionentry> &table,
                  int argc, char **argv, const argumentrules &rules) {
  std::set<std::string> given;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (ishelp(argv[i])) {
      std::fputs(help, stdout);
      finish(statusok);
    }
    const bool isoption = rules.isoption ? rules.isoption(arg) : arg.size() > 1 && arg[0] == '-';
    const optionentry *entry = isoption ? findoption(table, arg) : nullptr;
    if (entry == nullptr && isoption) {
      if (!rules.unknown) usageerror(command, "unknown option " + arg);
      i += rules.unknown(arg, i + 1 < argc ? argv[i + 1] : nullptr);
      continue;
    }
    if (entry != nullptr && entry->once && !given.insert(arg).second)
      usageerror(command, arg + " is given twice");
    if (entry != nullptr && entry->named) entry->named();
    if (entry == nullptr) {
      rules.positional(arg);
    } else if (entry->kind == optionkind::flag) {
      entry->apply("");
    } else {
      if (i + 1 >= argc)
        usageerror(command, entry->missing != nullptr ? entry->missing : arg + " needs a value");
      entry->apply(argv[++i]);
    }
  }
}

void applyoptions(const char *command, const char *help, const std::vector<optionentry> &table,
                  int argc, char **argv, std::vector<std::string> *positional) {
  argumentrules rules;
  rules.positional = [positional](const std::string &arg) { positional->push_back(arg); };
  applyoptions(command, help, table, argc, argv, rules);
}

void helpfirst(const char *help, int argc, char **argv) {
  for (int i = 0; i < argc; ++i)
    if (ishelp(argv[i])) {
      std::fputs(help, stdout);
      finish(statusok);
    }
}

std::string helptext(const char *head, const std::vector<optionentry> &table, const char *tail) {
  std::string text = head;
  for (const optionentry &entry : table) text += entry.help;
  return text + tail;
}

}  // namespace tanner
