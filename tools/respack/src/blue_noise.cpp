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
// The filling runs on integer energies over a window of the cells within nine
// of the centre (the Gaussian is below 2e-8 there); the extremes are kept per
// 16 x 16 tile and a tile is looked at again only after the window touched
// it, so a 256 x 256 matrix takes a fraction of a second. The removal runs
// on the set cells alone with the Gaussian over the whole torus in double
// precision: its sets get sparse, and a truncated filter would leave their
// cells all at equal energy, to be ranked by position instead of by spacing.
//
// The filter is made with plain additions, multiplications and divisions,
// and every sum is formed in a fixed order, so the matrix is the same on
// every machine.
#include <algorithm>
#include <cmath>
#include <map>

#include "bytes.h"

namespace respack {
namespace {

using detail::require;

// e^-x for x >= 0: the series at x / 2^k (at most 1/2), squared k times;
// 0 beyond e^-600, where the squares would turn subnormal (and slow).
double expNegative(double x) {
    if (x > 600.0) return 0.0;
    int halvings = 0;
    while (x > 0.5) x /= 2.0, ++halvings;
    double term = 1.0, sum = 1.0;
    for (int j = 1; j <= 20; ++j) {
        term = term * -x / j;
        sum += term;
    }
    while (halvings-- > 0) sum *= sum;
    return sum;
}

// The Gaussian at toroidal offset (dx, dy) on an n-torus.
double gaussian(int dx, int dy, int n, double deviation = 1.5) {
    dx = std::min(dx, n - dx);
    dy = std::min(dy, n - dy);
    return expNegative((dx * dx + dy * dy) / (2.0 * deviation * deviation));
}

uint64_t splitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class VoidAndCluster {
public:
    explicit VoidAndCluster(int n)
        : n_(n), mask_(n - 1), tile_(std::min(n, 16)), tilesPerRow_(n / tile_) {
        // The window covers the whole torus for small matrices.
        lo_ = n <= 32 ? -(n / 2) : -9;
        hi_ = n <= 32 ? n / 2 - 1 : 9;
        const int span = hi_ - lo_ + 1;
        weights_.resize(static_cast<size_t>(span) * span);
        for (int dy = lo_; dy <= hi_; ++dy)
            for (int dx = lo_; dx <= hi_; ++dx)
                weights_[static_cast<size_t>(dy - lo_) * span + (dx - lo_)] = static_cast<int64_t>(
                    gaussian(dx & mask_, dy & mask_, n) * 1099511627776.0 + 0.5);
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

        Matrix m{n_, n_, std::vector<uint16_t>(cells)};
        rankByRemoval(m);
        for (size_t rank = initial; rank < cells; ++rank) {
            const size_t at = extreme(false);
            toggle(at);
            m.values[at] = static_cast<uint16_t>(rank);
        }
        return m;
    }

private:
    // Ranks the set cells from the last down to 0 by taking the tightest
    // cluster out, one at a time. As the set thins out the filter widens
    // with the spacing of its cells (deviation 1.5 at the initial density),
    // so sparse sets are still judged by their spacing at every distance.
    void rankByRemoval(Matrix& m) const {
        struct Cell {
            size_t at;
            int x, y;
        };
        std::vector<Cell> cells;
        for (size_t i = 0; i < set_.size(); ++i)
            if (set_[i]) cells.push_back({i, static_cast<int>(i % n_), static_cast<int>(i / n_)});
        const double initial = static_cast<double>(cells.size());
        std::vector<double> g(set_.size()), energy;
        auto between = [&](const Cell& a, const Cell& b) {
            return g[static_cast<size_t>((a.y - b.y) & mask_) * n_ + ((a.x - b.x) & mask_)];
        };
        size_t filterMadeAt = 0;
        while (!cells.empty()) {
            if (filterMadeAt == 0 || cells.size() * 5 < filterMadeAt * 4) {
                filterMadeAt = cells.size();
                // The Gaussian is the product of its two axes; products
                // too small to matter are 0 rather than subnormal (and slow).
                const double deviation =
                    1.5 * std::sqrt(initial / static_cast<double>(cells.size()));
                std::vector<double> axis(n_);
                for (int d = 0; d < n_; ++d) axis[d] = gaussian(d, 0, n_, deviation);
                for (int dy = 0; dy < n_; ++dy)
                    for (int dx = 0; dx < n_; ++dx) {
                        const double v = axis[dy] * axis[dx];
                        g[static_cast<size_t>(dy) * n_ + dx] = v < 1e-250 ? 0.0 : v;
                    }
                energy.assign(cells.size(), 0.0);
                for (size_t i = 0; i < cells.size(); ++i)
                    for (size_t j = 0; j < cells.size(); ++j)
                        energy[i] += between(cells[i], cells[j]);
            }
            size_t best = 0;
            for (size_t i = 1; i < cells.size(); ++i)
                if (energy[i] > energy[best]) best = i;
            const Cell gone = cells[best];
            m.values[gone.at] = static_cast<uint16_t>(cells.size() - 1);
            cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(best));
            energy.erase(energy.begin() + static_cast<std::ptrdiff_t>(best));
            for (size_t i = 0; i < cells.size(); ++i) energy[i] -= between(cells[i], gone);
        }
    }

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
            const int64_t* w = &weights_[static_cast<size_t>(dy - lo_) * span];
            for (int dx = lo_; dx <= hi_; ++dx)
                energy_[row + ((x + dx) & mask_)] += sign * w[dx - lo_];
        }
        // Mark the tiles the window touched.
        for (int ty = y + lo_; ty <= y + hi_ + tile_ - 1; ty += tile_)
            for (int tx = x + lo_; tx <= x + hi_ + tile_ - 1; tx += tile_) {
                const int cy = std::min(ty, y + hi_), cx = std::min(tx, x + hi_);
                tiles_[static_cast<size_t>((cy & mask_) / tile_) * tilesPerRow_ +
                       (cx & mask_) / tile_]
                    .dirty = true;
            }
    }

    void refresh(size_t index) {
        Tile& t = tiles_[index];
        t.maxSet = t.minUnset = SIZE_MAX;
        const int x0 = static_cast<int>(index % tilesPerRow_) * tile_,
                  y0 = static_cast<int>(index / tilesPerRow_) * tile_;
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
            if (best == SIZE_MAX ||
                (wantSet ? energy_[c] > energy_[best] : energy_[c] < energy_[best]) ||
                (energy_[c] == energy_[best] && c < best))
                best = c;
        }
        return best;
    }

    int n_, mask_, tile_, tilesPerRow_, lo_ = 0, hi_ = 0;
    std::vector<int64_t> weights_;
    std::vector<uint8_t> set_;
    std::vector<int64_t> energy_;
    std::vector<Tile> tiles_;
};

}  // namespace

Matrix blueNoise(int n) {
    require(n >= 4 && n <= 256 && (n & (n - 1)) == 0,
            "a blue-noise matrix is 4 to 256 wide, a power of two");
    // Made once per size and thread: the fixtures of a test run ask for the
    // same few matrices again and again.
    thread_local std::map<int, Matrix> made;
    auto it = made.find(n);
    if (it == made.end()) it = made.emplace(n, VoidAndCluster(n).run()).first;
    return it->second;
}

}  // namespace respack
