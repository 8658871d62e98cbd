// Quantized density evolution of irregular ensembles and protographs on the
// AWGN channel, built from the updates of densityevolution.h.
#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <memory>

#include "densityevolution.h"

namespace ldpc {

std::vector<int> checkmagnitudes(const evolutionsettings &settings) {
  int half = settings.grid.half;
  std::vector<int> magnitude(half + 1);
  for (int m = 0; m <= half; ++m) {
    double scaled = m;
    if (settings.decoder == decoderkind::nms) scaled = settings.alpha * m;
    if (settings.decoder == decoderkind::oms)
      scaled = std::max(0.0, m - settings.beta / settings.grid.step);
    magnitude[m] = std::clamp(static_cast<int>(std::floor(scaled + 0.5)), 0, half);
  }
  return magnitude;
}

namespace {

using spectrum = std::vector<std::complex<double>>;

// Success, stall and iteration cap of one run, from the error probability
// after each iteration.
class stopping {
 public:
  explicit stopping(const evolutionsettings &settings) : settings(settings) {}
  // 1: decoded, -1: failed, 0: go on.
  int judge(double error) {
    if (settings.poll) settings.poll();
    history.push_back(error);
    if (error <= settings.tolerance) return 1;
    int n = static_cast<int>(history.size());
    if (n >= settings.maxiterations) return -1;
    if (n > settings.stallwindow &&
        history[n - 1 - settings.stallwindow] - error < settings.stallratio * error)
      return -1;
    return 0;
  }

 private:
  const evolutionsettings &settings;
  std::vector<double> history;
};

// Irregular ensembles: one message density per direction, the check output
// a mixture over rho, the variable output a mixture over lambda formed in
// the transform domain (sum_i lambda_i C X^(i-1)).
struct irregularevolution {
  evolutionsettings settings;
  std::vector<double> lambda, rho;  // by degree
  boxplustable table;
  std::vector<int> magnitude;
  fftplan plan;
  spectrum channelspectrum, work;

  irregularevolution(const degreedistribution &distribution, const evolutionsettings &s)
      : settings(s),
        table(s.decoder == decoderkind::spa ? s.grid : llrgrid{s.grid.step, 0}),
        magnitude(checkmagnitudes(s)),
        plan(convolutionsize(s.grid, *std::max_element(distribution.vdegrees.begin(),
                                                       distribution.vdegrees.end()))) {
    lambda.assign(*std::max_element(distribution.vdegrees.begin(), distribution.vdegrees.end()) + 1,
                  0);
    rho.assign(*std::max_element(distribution.cdegrees.begin(), distribution.cdegrees.end()) + 1,
               0);
    for (std::size_t k = 0; k < distribution.vdegrees.size(); ++k)
      lambda[distribution.vdegrees[k]] += distribution.lambda[k];
    for (std::size_t k = 0; k < distribution.cdegrees.size(); ++k)
      rho[distribution.cdegrees[k]] += distribution.rho[k];
    channelspectrum.resize(plan.size());
    work.resize(plan.size());
  }

  density checkupdate(const density &input) {
    const llrgrid &grid = settings.grid;
    int largest = static_cast<int>(rho.size()) - 1;
    if (settings.decoder != decoderkind::spa) {
      std::vector<double> s, d, mixs(grid.half + 2, 0.0), mixd(grid.half + 2, 0.0);
      minsumtails(grid, input, &s, &d);
      for (int m = 0; m <= grid.half + 1; ++m) {
        double ps = 1, pd = 1;
        for (int j = 1; j <= largest; ++j) {
          mixs[m] += rho[j] * ps;
          mixd[m] += rho[j] * pd;
          ps *= s[m];
          pd *= d[m];
        }
      }
      return minsumoutput(grid, mixs, mixd, magnitude);
    }
    density out(grid.size(), 0.0), power = input, next;
    if (rho[1] > 0) out[2 * grid.half] += rho[1];
    for (int j = 2; j <= largest; ++j) {
      if (j > 2) {
        table.combine(power, input, &next);
        power.swap(next);
      }
      if (rho[j] > 0)
        for (int n = 0; n < grid.size(); ++n) out[n] += rho[j] * power[n];
    }
    return out;
  }

  density variableupdate(const density &input) {
    densitytransform(plan, settings.grid, input, work.data());
    for (int t = 0; t < plan.size(); ++t) {
      std::complex<double> sum = 0, power = 1;
      for (std::size_t i = 1; i < lambda.size(); ++i) {
        if (lambda[i] > 0) sum += lambda[i] * power;
        power *= work[t];
      }
      work[t] = sum * channelspectrum[t];
    }
    return densityfromtransform(plan, settings.grid, work.data());
  }

  bool decodes(double sigma) {
    // Sum-product decoding cannot converge where zero error is an unstable
    // fixed point: lambda_2 rho'(1) B > 1 with the Bhattacharyya parameter
    // B = exp(-1 / (2 sigma^2)). Saturated quantized messages would blur
    // this bound, so it is applied exactly.
    if (settings.decoder == decoderkind::spa && lambda.size() > 2) {
      double slope = 0;
      for (std::size_t j = 2; j < rho.size(); ++j) slope += rho[j] * (j - 1.0);
      if (lambda[2] * slope * std::exp(-1 / (2 * sigma * sigma)) >= 1) return false;
    }
    density channel = channeldensity(settings.grid, sigma);
    densitytransform(plan, settings.grid, channel, channelspectrum.data());
    stopping rule(settings);
    density message = channel;
    for (;;) {
      message = variableupdate(checkupdate(message));
      int verdict = rule.judge(errorprobability(settings.grid, message));
      if (verdict != 0) return verdict > 0;
    }
  }
};

// Protographs: one density per edge and direction. Check outputs leave one
// input out through prefix and suffix combinations; variable outputs through
// prefix and suffix products of the transforms, whose size holds the
// a-posteriori sum of the channel and every incoming LLR.
struct protoevolution {
  evolutionsettings settings;
  protoensemble proto;
  std::vector<std::vector<int>> atcheck, atvariable;  // edge ids per node
  std::vector<char> punctured;
  boxplustable table;
  std::vector<int> magnitude;
  std::map<int, std::unique_ptr<fftplan>> plans;           // by variable degree
  std::map<int, spectrum> channelspectra, erasurespectra;  // by transform size
  std::vector<spectrum> transforms, results;               // variable-node workspace
  spectrum suffix, prefix;

  protoevolution(const protoensemble &p, const evolutionsettings &s)
      : settings(s),
        proto(p),
        atcheck(p.cnodes),
        atvariable(p.vnodes),
        punctured(p.vnodes, 0),
        table(s.decoder == decoderkind::spa ? s.grid : llrgrid{s.grid.step, 0}),
        magnitude(checkmagnitudes(s)) {
    for (std::size_t e = 0; e < p.edges.size(); ++e) {
      atvariable[p.edges[e].first].push_back(static_cast<int>(e));
      atcheck[p.edges[e].second].push_back(static_cast<int>(e));
    }
    for (int v : p.punctured) punctured[v] = 1;
    for (const auto &edges : atvariable) {
      int degree = static_cast<int>(edges.size());
      if (plans.count(degree) == 0)
        plans[degree] = std::make_unique<fftplan>(convolutionsize(s.grid, degree + 1));
    }
  }

  void checkupdate(const std::vector<density> &in, std::vector<density> *out) {
    const llrgrid &grid = settings.grid;
    for (const std::vector<int> &edges : atcheck) {
      int degree = static_cast<int>(edges.size());
      if (degree == 1) {
        (*out)[edges[0]] = certaindensity(grid);
        continue;
      }
      if (settings.decoder != decoderkind::spa) {
        std::vector<std::vector<double>> s(degree), d(degree);
        for (int k = 0; k < degree; ++k) minsumtails(grid, in[edges[k]], &s[k], &d[k]);
        for (int k = 0; k < degree; ++k) {
          std::vector<double> ps(grid.half + 2, 1.0), pd(grid.half + 2, 1.0);
          for (int other = 0; other < degree; ++other)
            if (other != k)
              for (int m = 0; m <= grid.half + 1; ++m) {
                ps[m] *= s[other][m];
                pd[m] *= d[other][m];
              }
          (*out)[edges[k]] = minsumoutput(grid, ps, pd, magnitude);
        }
        continue;
      }
      // prefix[k] combines inputs 0..k, suffix[k] inputs k..degree-1.
      std::vector<density> prefix(degree), suffix(degree);
      prefix[0] = in[edges[0]];
      for (int k = 1; k < degree; ++k) table.combine(prefix[k - 1], in[edges[k]], &prefix[k]);
      suffix[degree - 1] = in[edges[degree - 1]];
      for (int k = degree - 2; k >= 0; --k) table.combine(suffix[k + 1], in[edges[k]], &suffix[k]);
      for (int k = 0; k < degree; ++k) {
        if (k == 0)
          (*out)[edges[k]] = suffix[1];
        else if (k == degree - 1)
          (*out)[edges[k]] = prefix[degree - 2];
        else
          table.combine(prefix[k - 1], suffix[k + 1], &(*out)[edges[k]]);
      }
    }
  }

  // The variable-to-check densities, and the largest error probability of
  // the nodes' a-posteriori LLRs (the channel's and every incoming one).
  double variableupdate(const std::vector<density> &in, std::vector<density> *out) {
    const llrgrid &grid = settings.grid;
    double worst = 0;
    for (int v = 0; v < proto.vnodes; ++v) {
      const std::vector<int> &edges = atvariable[v];
      int degree = static_cast<int>(edges.size());
      const fftplan &plan = *plans[degree];
      int size = plan.size();
      // Two real densities share each transform, forward and back. The
      // workspace keeps its memory from node to node and iteration to
      // iteration.
      if (static_cast<int>(results.size()) < degree + 1) results.resize(degree + 1);
      if (static_cast<int>(transforms.size()) < degree) transforms.resize(degree);
      for (spectrum *buffer : {&suffix, &prefix}) buffer->resize(size);
      for (int k = 0; k <= degree; ++k) {
        results[k].resize(size);
        if (k < degree) transforms[k].resize(size);
      }
      for (int k = 0; k < degree; k += 2)
        if (k + 1 < degree)
          densitypairtransform(plan, grid, in[edges[k]], in[edges[k + 1]], transforms[k].data(),
                               transforms[k + 1].data());
        else
          densitytransform(plan, grid, in[edges[k]], transforms[k].data());
      // results[k] = channel times every transform but k; results[degree]
      // the a-posteriori sum, times all of them.
      std::fill(suffix.begin(), suffix.begin() + size, 1.0);
      for (int k = degree - 1; k >= 0; --k) {
        std::copy(suffix.begin(), suffix.begin() + size, results[k].begin());
        multiplyinto(suffix.data(), transforms[k].data(), size);
      }
      const spectrum &channel = punctured[v] ? erasurespectra[size] : channelspectra[size];
      std::copy(channel.begin(), channel.begin() + size, prefix.begin());
      for (int k = 0; k < degree; ++k) {
        multiplyinto(results[k].data(), prefix.data(), size);
        multiplyinto(prefix.data(), transforms[k].data(), size);
      }
      std::copy(prefix.begin(), prefix.begin() + size, results[degree].begin());
      density posterior;
      for (int k = 0; k <= degree; k += 2) {
        density *first = k < degree ? &(*out)[edges[k]] : &posterior;
        density *second = k + 1 < degree    ? &(*out)[edges[k + 1]]
                          : k + 1 == degree ? &posterior
                                            : nullptr;
        if (second != nullptr)
          densitypairfromtransforms(plan, grid, results[k].data(), results[k + 1].data(), first,
                                    second);
        else
          *first = densityfromtransform(plan, grid, results[k].data());
      }
      worst = std::max(worst, errorprobability(grid, posterior));
    }
    return worst;
  }

  bool decodes(double sigma) {
    const llrgrid &grid = settings.grid;
    density channel = channeldensity(grid, sigma), erasure = erasuredensity(grid);
    for (const auto &[degree, plan] : plans) {
      spectrum &c = channelspectra[plan->size()], &e = erasurespectra[plan->size()];
      c.resize(plan->size());
      e.resize(plan->size());
      densitytransform(*plan, grid, channel, c.data());
      densitytransform(*plan, grid, erasure, e.data());
    }
    std::size_t edges = proto.edges.size();
    std::vector<density> tocheck(edges), tovariable(edges);
    for (std::size_t e = 0; e < edges; ++e)
      tocheck[e] = punctured[proto.edges[e].first] ? erasure : channel;
    stopping rule(settings);
    for (;;) {
      checkupdate(tocheck, &tovariable);
      int verdict = rule.judge(variableupdate(tovariable, &tocheck));
      if (verdict != 0) return verdict > 0;
    }
  }
};

}  // namespace

std::function<bool(double sigma)> awgnevolution(const ensemble &code,
                                                const evolutionsettings &settings) {
  if (code.isprotograph) {
    auto state = std::make_shared<protoevolution>(code.protograph, settings);
    return [state](double sigma) { return state->decodes(sigma); };
  }
  auto state = std::make_shared<irregularevolution>(code.distribution, settings);
  return [state](double sigma) { return state->decodes(sigma); };
}

}  // namespace ldpc
