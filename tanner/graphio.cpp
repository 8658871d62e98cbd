#include "graphio.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "alist.h"
#include "descfile.h"
#include "exits.h"
#include "graphfile.h"
#include "outputfile.h"
#include "qcformat.h"
#include "textio.h"

namespace tanner {

namespace {

// Ends the process with a message naming path when a reader did not succeed:
// the system's reason when the file could not be opened, else the reader's.
void failunread(const std::string &path, ldpc::readoutcome outcome, const std::string &error) {
  switch (outcome) {
    case ldpc::readok:
      return;
    case ldpc::readopenfailed:
      fail(path + ": " + std::strerror(errno));
    case ldpc::readmalformed:
      fail(path + ": " + error);
  }
}

}  // namespace

ldpc::graphs *loadcodefile(const std::string &path, bool checkmirrors, ldpc::encoders *encoder,
                           const std::string &protohint) {
  if (readsasqc(path)) {
    // A base-matrix file carries no encoder information.
    if (encoder != nullptr) {
      *encoder = ldpc::encoders{};
      encoder->gap = -1;
    }
    return loadqcgraph(path);
  }
  auto *graph = ldpc::allocatearray<ldpc::graphs>(1);
  ldpc::encoders scratch{};
  ldpc::encoders *target = encoder != nullptr ? encoder : &scratch;
  std::string error;
  const ldpc::readoutcome outcome =
      ldpc::readgraphfile(path.c_str(), graph, target, &error, checkmirrors);
  // A proto-file where a code was expected reads as a malformed code file:
  // say what it is and what to type.
  ldpc::graphs *protograph = nullptr;
  std::string ignored;
  if (outcome == ldpc::readmalformed &&
      ldpc::readprotofile(path.c_str(), &protograph, &ignored) == ldpc::readok) {
    ldpc::freegraph(protograph);
    std::free(protograph);
    fail(path + ": this is a proto-file (a protograph), not a code; " +
         (protohint.empty()
              ? "build a code from it with 'tanner construct proto " + path + " --lift L OUT'"
              : "type '" + protohint + "'"));
  }
  failunread(path, outcome, error);
  if (encoder == nullptr && scratch.gap >= 0) std::free(scratch.iphi);
  return graph;
}

ldpc::graphs *loadprotograph(const std::string &protofile, int lift) {
  // The file is read here by name, so that paths of any length work.
  ldpc::graphs *protograph = nullptr;
  std::string error;
  const ldpc::readoutcome outcome = ldpc::readprotofile(protofile.c_str(), &protograph, &error);
  failunread(protofile, outcome, error);
  std::string unusable = ldpc::unliftable(protograph, lift);
  if (!unusable.empty()) fail(protofile + ": " + unusable);
  return protograph;
}

namespace {

[[noreturn]] void failwritable(const std::string &path) {
  fail(ldpc::openforwritingmessage(path, errno));
}

}  // namespace

void writegraph(const ldpc::graphs *graph, const std::string &path, bool alist, bool padded,
                const ldpc::encoders *withencoder) {
  std::string error;
  ldpc::writeoutcome outcome;
  if (alist) {
    outcome = ldpc::writealistfile(graph, path.c_str(), padded, &error);
  } else {
    ldpc::encoders encoder{};
    encoder.gap = -1;
    if (withencoder != nullptr) encoder = *withencoder;
    outcome = ldpc::writegraphfile(graph, &encoder, path.c_str(), &error);
  }
  endonwritefault(outcome, path, error);
}

void endonwritefault(ldpc::writeoutcome outcome, const std::string &path,
                     const std::string &error) {
  if (outcome == ldpc::writeopenfailed) failwritable(path);
  if (outcome == ldpc::writefailed) fail(error);
}

void writetextfile(const std::string &path, const std::string &contents) {
  std::string error;
  const ldpc::writeoutcome outcome = ldpc::writewhole(
      path.c_str(), [&](ldpc::textwriter *out) { ldpc::writetext(out, contents.c_str()); }, &error);
  endonwritefault(outcome, path, error);
}

void checkwritable(const std::string &path) {
  if (!ldpc::outputwritable(path.c_str())) failwritable(path);
}

namespace {

// What names a file for the comparison of inputs and outputs: the device
// and inode of an existing regular file, or those of the directory of a
// path that does not exist yet with its last name. Devices, terminals and
// pipes are not compared: any number of writers may share them.
struct fileidentity {
  bool comparable = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;
  bool operator==(const fileidentity &other) const {
    return comparable && other.comparable && device == other.device && inode == other.inode &&
           name == other.name;
  }
};

fileidentity identify(const std::string &path) {
  fileidentity id;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    id.comparable = S_ISREG(st.st_mode);
    id.device = st.st_dev;
    id.inode = st.st_ino;
    return id;
  }
  struct stat link;
  if (errno != ENOENT || lstat(path.c_str(), &link) == 0) return id;  // a dangling link
  const std::string::size_type slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : path.substr(0, slash);
  if (stat(directory.c_str(), &st) != 0) return id;
  id.comparable = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.name = slash == std::string::npos ? path : path.substr(slash + 1);
  return id;
}

}  // namespace

void checkdistinctfiles(const std::string &command, const std::vector<namedfile> &inputs,
                        const std::vector<namedfile> &outputs) {
  std::vector<fileidentity> seen;
  for (const namedfile &file : inputs) seen.push_back(identify(file.path));
  std::vector<namedfile> named = inputs;
  for (const namedfile &output : outputs) {
    if (output.path.empty()) continue;
    const fileidentity id = identify(output.path);
    for (std::size_t k = 0; k < seen.size(); ++k)
      if (id == seen[k])
        usageerror(command, output.role + " " + output.path + " is the same file as " +
                                named[k].role + " " + named[k].path +
                                (k < inputs.size() ? "; writing it would destroy the input" : ""));
    seen.push_back(id);
    named.push_back(output);
  }
}

}  // namespace tanner
