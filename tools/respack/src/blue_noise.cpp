// Blue-noise threshold matrices by void-and-cluster.
//
// The energy of a cell is the sum of a Gaussian (deviation 1.5) over the
// toroidal distances to all set cells. The initial pattern is a tenth of the
// cells, set by a fixed pseudo-random sequence and relaxed by moving the
// tightest cluster into the largest void until that changes nothing. Ranks
// below the initial count come from removing tightest clusters one by one,
// ranks above it from filling largest voids (with a linear filter, filling
// the largest void of the set cells is the same as taking the tightest
// cluster of the unset ones).
//
// Everything is integer once the filter is made, and the filter itself is
// made with plain additions, multiplications and divisions, so the matrix is
// the same on every machine. The extremes are kept per 16 x 16 tile and a
// tile is looked at again only after the filter window touched it, so a
// 256 x 256 matrix takes a fraction of a second.
#include <algorithm>
#include <map>
#include <mutex>

#include "bytes.h"

namespace respack {
namespace {

using detail::require;

// e^-x for x >= 0 from its series at x / 64, squared six times.
double expNegative(double x) {
    const double small = -x / 64.0;
    double term = 1.0, sum = 1.0;
    for (int j = 1; j <= 24; ++j) {
        term = term * small / j;
        sum += term;
    }
    for (int k = 0; k < 6; ++k) sum *= sum;
    return sum;
}

uint64_t splitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class VoidAndCluster {
public:
    explicit VoidAndCluster(int n) : n_(n), mask_(n - 1), tile_(std::min(n, 16)), tilesPerRow_(n / tile_) {
        // The window covers the whole torus for small matrices, else the
        // cells within seven of the centre (the Gaussian is below 2e-5 there).
        lo_ = n <= 16 ? -(n / 2) : -7;
        hi_ = n <= 16 ? n / 2 - 1 : 7;
        const int span = hi_ - lo_ + 1;
        weights_.resize(static_cast<size_t>(span) * span);
        for (int dy = lo_; dy <= hi_; ++dy)
            for (int dx = lo_; dx <= hi_; ++dx) {
                const double w = expNegative((dx * dx + dy * dy) / (2.0 * 1.5 * 1.5));
                weights_[static_cast<size_t>(dy - lo_) * span + (dx - lo_)] =
                    static_cast<int32_t>(w * 1048576.0 + 0.5);
            }
        const size_t cells = static_cast<size_t>(n) * n;
        set_.assign(cells, 0);
        energy_.assign(cells, 0);
        tiles_.assign(static_cast<size_t>(tilesPerRow_) * tilesPerRow_, Tile{});
    }

    Matrix run() {
        const size_t cells = set_.size();
        const size_t initial = std::max<size_t>(1, cells / 10);
        uint64_t state = 0x1D0C5EEDull + static_cast<uint64_t>(n_);
        for (size_t placed = 0; placed < initial;) {
            const size_t at = static_cast<size_t>(splitMix(state) % cells);
            if (!set_[at]) toggle(at), ++placed;
        }
        // Relax: the tightest cluster moves to the largest void.
        for (size_t guard = 0; guard < 4 * cells; ++guard) {
            const size_t cluster = extreme(true);
            toggle(cluster);
            const size_t hole = extreme(false);
            toggle(hole);
            if (hole == cluster) break;
        }
        const std::vector<uint8_t> startSet = set_;
        const std::vector<int32_t> startEnergy = energy_;

        Matrix m{n_, n_, std::vector<uint16_t>(cells)};
        for (size_t rank = initial; rank-- > 0;) {
            const size_t at = extreme(true);
            toggle(at);
            m.values[at] = static_cast<uint16_t>(rank);
        }
        set_ = startSet;
        energy_ = startEnergy;
        for (Tile& t : tiles_) t.dirty = true;
        for (size_t rank = initial; rank < cells; ++rank) {
            const size_t at = extreme(false);
            toggle(at);
            m.values[at] = static_cast<uint16_t>(rank);
        }
        return m;
    }

private:
    struct Tile {
        bool dirty = true;
        size_t maxSet = SIZE_MAX, minUnset = SIZE_MAX;  // cell indices, SIZE_MAX for none
    };

    void toggle(size_t at) {
        const int sign = set_[at] ? -1 : 1;
        set_[at] ^= 1;
        const int x = static_cast<int>(at % n_), y = static_cast<int>(at / n_);
        const int span = hi_ - lo_ + 1;
        for (int dy = lo_; dy <= hi_; ++dy) {
            const size_t row = static_cast<size_t>((y + dy) & mask_) * n_;
            const int32_t* w = &weights_[static_cast<size_t>(dy - lo_) * span];
            for (int dx = lo_; dx <= hi_; ++dx) energy_[row + ((x + dx) & mask_)] += sign * w[dx - lo_];
        }
        // Mark the tiles the window touched.
        for (int ty = y + lo_; ty <= y + hi_ + tile_ - 1; ty += tile_)
            for (int tx = x + lo_; tx <= x + hi_ + tile_ - 1; tx += tile_) {
                const int cy = std::min(ty, y + hi_), cx = std::min(tx, x + hi_);
                tiles_[static_cast<size_t>((cy & mask_) / tile_) * tilesPerRow_ + (cx & mask_) / tile_].dirty = true;
            }
    }

    void refresh(size_t index) {
        Tile& t = tiles_[index];
        t.maxSet = t.minUnset = SIZE_MAX;
        const int x0 = static_cast<int>(index % tilesPerRow_) * tile_, y0 = static_cast<int>(index / tilesPerRow_) * tile_;
        for (int y = y0; y < y0 + tile_; ++y)
            for (int x = x0; x < x0 + tile_; ++x) {
                const size_t at = static_cast<size_t>(y) * n_ + x;
                if (set_[at]) {
                    if (t.maxSet == SIZE_MAX || energy_[at] > energy_[t.maxSet]) t.maxSet = at;
                } else if (t.minUnset == SIZE_MAX || energy_[at] < energy_[t.minUnset]) {
                    t.minUnset = at;
                }
            }
        t.dirty = false;
    }

    // The set cell of highest energy, or the unset cell of lowest; ties go to
    // the first cell in row order.
    size_t extreme(bool wantSet) {
        size_t best = SIZE_MAX;
        for (size_t i = 0; i < tiles_.size(); ++i) {
            if (tiles_[i].dirty) refresh(i);
            const size_t c = wantSet ? tiles_[i].maxSet : tiles_[i].minUnset;
            if (c == SIZE_MAX) continue;
            if (best == SIZE_MAX || (wantSet ? energy_[c] > energy_[best] : energy_[c] < energy_[best]) ||
                (energy_[c] == energy_[best] && c < best))
                best = c;
        }
        return best;
    }

    int n_, mask_, tile_, tilesPerRow_, lo_ = 0, hi_ = 0;
    std::vector<int32_t> weights_;
    std::vector<uint8_t> set_;
    std::vector<int32_t> energy_;
    std::vector<Tile> tiles_;
};

} // namespace

Matrix blueNoise(int n) {
    require(n >= 4 && n <= 256 && (n & (n - 1)) == 0, "a blue-noise matrix is 4 to 256 wide, a power of two");
    // Made once per size and process: the fixtures of a test run ask for the
    // same few matrices again and again.
    static std::mutex lock;
    static std::map<int, Matrix> made;
    std::lock_guard<std::mutex> guard(lock);
    auto it = made.find(n);
    if (it == made.end()) it = made.emplace(n, VoidAndCluster(n).run()).first;
    return it->second;
}

} // namespace respack
