// The J-function, the capacity of BPSK over AWGN, and EXIT analysis of
// irregular ensembles and protographs.
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "densityevolution.h"

namespace ldpc {

namespace {

// 1 - J(s) = E[log2(1 + exp(-L))] for L ~ N(s^2/2, s^2), by the trapezoid
// rule in the standard normal z (L = s^2/2 + s z). The integrand is analytic
// in a strip of half-width about pi/s around the real axis, so steps of
// 0.5/s (and at most 0.25 for the Gaussian weight) leave an error far below
// 1e-15; the range reaches z = -s - 12, past the region around z = -s/2
// that dominates when 1 - J is small.
double jcomplement(double s) {
  if (s <= 0) return 1;
  double step = std::min(0.25, 0.5 / s);
  double low = -s - 12, high = 12;
  int count = static_cast<int>(std::ceil((high - low) / step));
  step = (high - low) / count;
  double sum = 0;
  for (int k = 0; k <= count; ++k) {
    double z = low + k * step;
    double x = -(s * s / 2 + s * z);  // log2(1 + e^x), computed without overflow
    double softplus = std::max(x, 0.0) + std::log1p(std::exp(-std::fabs(x)));
    double weight = (k == 0 || k == count) ? 0.5 : 1.0;
    sum += weight * std::exp(-z * z / 2) * softplus;
  }
  return sum * step / std::sqrt(2 * std::numbers::pi) / std::numbers::ln2;
}

// log(1 - J) on s = 0, 0.01, .., 20 (1 - J(20) is about 1e-22); linear
// interpolation in this form keeps the relative accuracy of 1 - J near 1.
constexpr double jstep = 0.01;
constexpr int jpoints = 2001;

const std::vector<double> &jtable() {
  static const std::vector<double> table = [] {
    std::vector<double> t(jpoints);
    for (int k = 0; k < jpoints; ++k) t[k] = std::log(jcomplement(k * jstep));
    return t;
  }();
  return table;
}

}  // namespace

double jfunctionexact(double s) { return 1 - jcomplement(s); }

double jfunction(double s) {
  const std::vector<double> &table = jtable();
  if (s <= 0) return 0;
  double x = s / jstep;
  if (x >= jpoints - 1) return 1 - std::exp(table.back());
  int k = static_cast<int>(x);
  double frac = x - k;
  return 1 - std::exp(table[k] + frac * (table[k + 1] - table[k]));
}

double jinverse(double information) {
  const std::vector<double> &table = jtable();
  if (information <= 0) return 0;
  double y = std::log1p(-std::min(information, 1.0));
  if (y <= table.back()) return (jpoints - 1) * jstep;
  // table is decreasing: the first entry at or below y.
  auto at = std::lower_bound(table.begin(), table.end(), y, std::greater<double>());
  int k = static_cast<int>(at - table.begin());
  if (k == 0) return 0;
  double frac = (table[k - 1] - y) / (table[k - 1] - table[k]);
  return (k - 1 + frac) * jstep;
}

double biawgncapacity(double sigma) { return jfunctionexact(2 / sigma); }

double biawgnsigmaforrate(double rate) {
  // The capacity falls as sigma grows; bisect on log sigma.
  double low = std::log(1e-3), high = std::log(1e3);
  for (int step = 0; step < 200 && high - low > 1e-15; ++step) {
    double middle = 0.5 * (low + high);
    if (biawgncapacity(std::exp(middle)) > rate)
      low = middle;
    else
      high = middle;
  }
  return std::exp(0.5 * (low + high));
}

namespace {

constexpr double exitstall = 1e-13;

bool irregularexit(const degreedistribution &distribution, double sigma, double tolerance,
                   int maxiterations) {
  double channel = 2 / sigma;
  double tocheck = 0, tovariable = 0;
  for (int iteration = 0; iteration < maxiterations; ++iteration) {
    double incoming = jinverse(tovariable);
    double next = 0;
    for (std::size_t k = 0; k < distribution.vdegrees.size(); ++k)
      next += distribution.lambda[k] *
              jfunction(std::sqrt((distribution.vdegrees[k] - 1) * incoming * incoming +
                                  channel * channel));
    if (1 - next <= tolerance) return true;
    if (iteration > 0 && next - tocheck < exitstall) return false;
    tocheck = next;
    double outgoing = jinverse(1 - tocheck);
    double complement = 0;
    for (std::size_t k = 0; k < distribution.cdegrees.size(); ++k)
      complement +=
          distribution.rho[k] * jfunction(std::sqrt(distribution.cdegrees[k] - 1.0) * outgoing);
    tovariable = 1 - complement;
  }
  return false;
}

struct protoexit {
  protoensemble proto;
  std::vector<std::vector<int>> atcheck, atvariable;
  std::vector<char> punctured;

  explicit protoexit(const protoensemble &p)
      : proto(p), atcheck(p.cnodes), atvariable(p.vnodes), punctured(p.vnodes, 0) {
    for (std::size_t e = 0; e < p.edges.size(); ++e) {
      atvariable[p.edges[e].first].push_back(static_cast<int>(e));
      atcheck[p.edges[e].second].push_back(static_cast<int>(e));
    }
    for (int v : p.punctured) punctured[v] = 1;
  }

  bool decodes(double sigma, double tolerance, int maxiterations) {
    std::size_t edges = proto.edges.size();
    std::vector<double> tocheck(edges, 0.0), tovariable(edges, 0.0), squared(edges);
    double channel = 2 / sigma;
    for (int iteration = 0; iteration < maxiterations; ++iteration) {
      // Variable nodes: the J-parameters add in squares, leaving one edge
      // out; all of them give the a-posteriori information.
      double worst = 1, gain = 0;
      for (int v = 0; v < proto.vnodes; ++v) {
        double total = punctured[v] ? 0 : channel * channel;
        for (int e : atvariable[v]) {
          double s = jinverse(tovariable[e]);
          squared[e] = s * s;
          total += squared[e];
        }
        for (int e : atvariable[v]) {
          double next = jfunction(std::sqrt(std::max(total - squared[e], 0.0)));
          gain = std::max(gain, next - tocheck[e]);
          tocheck[e] = next;
        }
        worst = std::min(worst, jfunction(std::sqrt(total)));
      }
      if (1 - worst <= tolerance) return true;
      if (iteration > 0 && gain < exitstall) return false;
      // Check nodes: the same on the complements.
      for (const std::vector<int> &at : atcheck) {
        double total = 0;
        for (int e : at) {
          double s = jinverse(1 - tocheck[e]);
          squared[e] = s * s;
          total += squared[e];
        }
        for (int e : at)
          tovariable[e] = 1 - jfunction(std::sqrt(std::max(total - squared[e], 0.0)));
      }
    }
    return false;
  }
};

}  // namespace

std::function<bool(double sigma)> exitevolution(const ensemble &code, double tolerance,
                                                int maxiterations) {
  if (code.isprotograph) {
    auto state = std::make_shared<protoexit>(code.protograph);
    return [state, tolerance, maxiterations](double sigma) {
      return state->decodes(sigma, tolerance, maxiterations);
    };
  }
  degreedistribution distribution = code.distribution;
  return [distribution, tolerance, maxiterations](double sigma) {
    return irregularexit(distribution, sigma, tolerance, maxiterations);
  };
}

}  // namespace ldpc
