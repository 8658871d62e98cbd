// Shards and the merge of ledgers: the union of their blocks, the rule over
// it, and what a shard still has to run.
#include "ledgermerge.h"

#include <algorithm>

namespace ldpc {

namespace {

// The blocks of several ledgers of one configuration, per point, sorted,
// each once; and whether any ledger owning a block gave it up.
struct blockunion {
  std::vector<const ledgercontents *> ledgers;
  std::vector<std::vector<numberedblock>> blocks;
  std::int64_t count = 0;

  bool givenup(int point, std::int64_t block) const {
    for (const ledgercontents *l : ledgers)
      if (givenupin(*l, point, block)) return true;
    return false;
  }
  std::span<const numberedblock> of(int point) const { return blocks[point]; }
};

std::string unite(const std::vector<const ledgercontents *> &ledgers, blockunion *u) {
  if (ledgers.empty()) return "no ledger to merge";
  const ledgercontents &first = *ledgers[0];
  for (const ledgercontents *l : ledgers) {
    std::string difference = configdifference(first.config, first.path, l->config, l->path);
    if (!difference.empty()) return "the ledgers are of different configurations: " + difference;
  }
  u->ledgers = ledgers;
  const std::size_t points = first.config.points.size();
  u->blocks.assign(points, {});
  struct source {
    numberedblock block;
    std::size_t ledger;
  };
  for (std::size_t p = 0; p < points; ++p) {
    std::vector<source> all;
    for (std::size_t k = 0; k < ledgers.size(); ++k)
      for (const numberedblock &b : ledgers[k]->blocks[p]) all.push_back({b, k});
    std::stable_sort(all.begin(), all.end(), [](const source &a, const source &b) {
      return a.block.block < b.block.block;
    });
    std::vector<numberedblock> &kept = u->blocks[p];
    kept.reserve(all.size());
    for (std::size_t k = 0; k < all.size(); ++k) {
      if (k > 0 && all[k].block.block == all[k - 1].block.block) {
        if (!samecounts(all[k].block.tally, all[k - 1].block.tally))
          return ledgers[all[k - 1].ledger]->path + " and " + ledgers[all[k].ledger]->path +
                 " hold block " + std::to_string(all[k].block.block) + " of point " +
                 std::to_string(p) + " with different counts";
        continue;
      }
      kept.push_back(all[k].block);
    }
    u->count += static_cast<std::int64_t>(kept.size());
  }
  return "";
}

// Who must go on for block of point: the ledgers whose shard owns it, or
// the shard whose ledger is missing.
std::string shortfall(const blockunion &u, int point, std::int64_t block) {
  const stoppingrule &rule = u.ledgers[0]->config.rule;
  const framespan span = blockspan(rule, block);
  std::string text = "point " + std::to_string(point) + " needs block " + std::to_string(block) +
                     " (frames " + std::to_string(span.first) + ".." +
                     std::to_string(span.first + span.count - 1) + "), ";
  std::string owners;
  std::vector<int> counts;
  for (const ledgercontents *l : u.ledgers) {
    if (ownsblock(l->shard, block))
      owners += (owners.empty() ? "" : ", ") + l->path + " (shard " + shardname(l->shard) + ")";
    if (std::find(counts.begin(), counts.end(), l->shard.count) == counts.end())
      counts.push_back(l->shard.count);
  }
  if (!owners.empty()) return text + "which " + owners + " has not run yet: resume that shard";
  std::string missing;
  for (int n : counts)
    missing += (missing.empty() ? "" : " or ") + shardname({static_cast<int>(block % n) + 1, n});
  return text + "which no ledger given owns: the ledger of shard " + missing + " is missing";
}

}  // namespace

std::string mergeledgers(const std::vector<const ledgercontents *> &ledgers, mergeresult *result) {
  *result = mergeresult{};
  blockunion u;
  std::string fault = unite(ledgers, &u);
  if (!fault.empty()) return fault;
  const runconfig &config = ledgers[0]->config;
  result->config = config;
  result->blocks = u.count;
  result->verdict = decidesweep(
      config.rule, static_cast<int>(config.points.size()), [&](int p) { return u.of(p); },
      [&](int p, std::int64_t b) { return u.givenup(p, b); });
  if (!result->verdict.complete) {
    result->point = static_cast<int>(result->verdict.points.size()) - 1;
    result->block = result->verdict.points.back().needed;
    result->shortfall = shortfall(u, result->point, result->block);
  }
  return "";
}

std::int64_t firstshareblock(const stoppingrule &rule, const ledgershard &shard) {
  const std::int64_t first = shard.index - 1;
  return first < blockcount(rule) ? first : -1;
}

bool countshareblock(const stoppingrule &rule, const ledgershard &shard, sharestate *state,
                     const blocktally &block) {
  if (state->done) return true;
  if (state->next < 0) state->next = firstshareblock(rule, shard);
  addtally(&state->own, block);
  state->next += std::max(1, shard.count);
  state->done = state->own.frameerrors >= rule.maxerrors || state->next >= blockcount(rule);
  return state->done;
}

std::string planshard(const ledgershard &shard, const std::vector<const ledgercontents *> &visible,
                      shardplan *plan) {
  *plan = shardplan{};
  blockunion u;
  std::string fault = unite(visible, &u);
  if (!fault.empty()) return fault;
  const runconfig &config = visible[0]->config;
  const stoppingrule &rule = config.rule;
  const int points = static_cast<int>(config.points.size());
  plan->next.assign(points, -1);
  auto givenup = [&](int p, std::int64_t b) { return u.givenup(p, b); };
  // Points 0 .. p - 1 have all ended, as the merge of what is seen says.
  bool prefixended = true;
  for (int p = 0; p < points; ++p) {
    const pointverdict verdict = decidepoint(rule, p, u.of(p), givenup);
    if (verdict.state.end != pointend::running) {
      if (prefixended && !sweepgoeson(rule, verdict.state)) break;  // the sweep ends here
      continue;
    }
    prefixended = false;
    // The shard's own share, in its order, from the blocks seen.
    sharestate share;
    const auto &blocks = u.blocks[p];
    for (std::int64_t b = firstshareblock(rule, shard); b >= 0 && !share.done;) {
      if (givenup(p, b)) break;
      const blocktally *tally = nullptr;
      auto it =
          std::lower_bound(blocks.begin(), blocks.end(), b,
                           [](const numberedblock &x, std::int64_t n) { return x.block < n; });
      if (it != blocks.end() && it->block == b) tally = &it->tally;
      if (tally == nullptr) {
        plan->next[p] = b;
        break;
      }
      countshareblock(rule, shard, &share, *tally);
      b = share.next;
    }
  }
  plan->finished =
      std::all_of(plan->next.begin(), plan->next.end(), [](std::int64_t b) { return b < 0; });
  return "";
}

}  // namespace ldpc
