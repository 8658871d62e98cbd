// What the throughput benchmarks share: the wall clock, a graph of the
// irregular ensemble from a fixed stream state, and the reading of their
// "--name value" and "--flag" arguments.
#ifndef LDPC_BENCH_BENCHSUPPORT_H
#define LDPC_BENCH_BENCHSUPPORT_H

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphfile.h"
#include "simulation.h"

namespace benchsupport {

inline double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A graph of the irregular ensemble, drawn from the graph-stream state 1,2,3.
inline void constructirregular(ldpc::graphs *graph, int n, std::vector<int> vdeg,
                               std::vector<double> vfrac, std::vector<int> cdeg,
                               std::vector<double> cfrac) {
  ldpc::simulations sim = ldpc::irregularsimulation(n, vdeg, vfrac, cdeg, cfrac, false);
  ldpc::graphsimrand[0] = 1;
  ldpc::graphsimrand[1] = 2;
  ldpc::graphsimrand[2] = 3;
  ldpc::constructirregulargraph(graph, &sim);
}

// The options of a benchmark: each "--name value" read with atoi, atof or
// as text, each "--name" flag set to true. parse refuses anything else
// (and a value option without its value) with the usage line.
class arguments {
 public:
  explicit arguments(const char *usage) : usage_(usage) {}
  arguments &number(const char *name, int *target) {
    options_.push_back({name, target, nullptr, nullptr, nullptr});
    return *this;
  }
  arguments &real(const char *name, double *target) {
    options_.push_back({name, nullptr, target, nullptr, nullptr});
    return *this;
  }
  arguments &text(const char *name, std::string *target) {
    options_.push_back({name, nullptr, nullptr, target, nullptr});
    return *this;
  }
  arguments &flag(const char *name, bool *target) {
    options_.push_back({name, nullptr, nullptr, nullptr, target});
    return *this;
  }
  // False, with the usage line on standard error, on an unknown argument.
  bool parse(int argc, char **argv) const {
    for (int i = 1; i < argc; ++i) {
      const option *found = nullptr;
      for (const option &o : options_)
        if (!std::strcmp(argv[i], o.name) && (o.flag != nullptr || i + 1 < argc)) found = &o;
      if (found == nullptr) {
        std::fprintf(stderr, "%s\n", usage_);
        return false;
      }
      if (found->flag != nullptr)
        *found->flag = true;
      else if (found->number != nullptr)
        *found->number = std::atoi(argv[++i]);
      else if (found->real != nullptr)
        *found->real = std::atof(argv[++i]);
      else
        *found->text = argv[++i];
    }
    return true;
  }

 private:
  struct option {
    const char *name;
    int *number;
    double *real;
    std::string *text;
    bool *flag;
  };
  const char *usage_;
  std::vector<option> options_;
};

}  // namespace benchsupport

#endif
