#include "network/segments.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "network/simple_point.h"

namespace ds {

namespace {

// The mixed-adjacency code of an 8-neighbour code: a diagonal neighbour (odd k) is dropped
// when either side neighbour beside it (k - 1, k + 1) is a network pixel.
constexpr std::array<std::uint8_t, 256> kMixed = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned code = 0; code < 256; ++code) {
        unsigned m = code;
        for (unsigned k = 1; k < 8; k += 2)
            if ((code >> (k - 1) & 1) || (code >> ((k + 1) & 7) & 1))
                m &= ~(1u << k);
        t[code] = static_cast<std::uint8_t>(m);
    }
    return t;
}();

// ESRI D8 codes in neighbour order (north first, clockwise).
constexpr std::array<std::uint8_t, 8> kD8Code = {64, 128, 1, 2, 4, 8, 16, 32};

int d8_neighbour(std::uint8_t code) {
    for (int k = 0; k < 8; ++k)
        if (kD8Code[static_cast<std::size_t>(k)] == code)
            return k;
    return -1;
}

double step_length(int k) {
    return (k & 1) ? std::sqrt(2.0) : 1.0;
}

struct Step {
    bool valid = false;  // a direction that agrees with the network
    bool outlet = false;
    GridPixel to;  // the network pixel it leads onto, unless an outlet
};

// Whether a pixel touches the network (one of its 8 neighbours).
bool beside(const NetworkIndex& net, std::int64_t r, std::int64_t c) {
    for (std::size_t k = 0; k < 8; ++k)
        if (net.contains(r + kNeighbourRow[k], c + kNeighbourCol[k]))
            return true;
    return false;
}

// Where the direction of network pixel (r, c) leads: the network pixel its flow path reaches
// after at most `detour` background pixels, each beside the network, unless the path leaves
// first.
Step follow(const NetworkIndex& net, const ByteGrid& dir, std::int64_t r, std::int64_t c,
            int detour) {
    for (int crossed = 0;; ++crossed) {
        const std::uint8_t d = dir(r, c);
        if (d == 0)
            return {true, true, {}};
        const int k = d8_neighbour(d);
        if (k < 0)
            return {};
        r += kNeighbourRow[static_cast<std::size_t>(k)];
        c += kNeighbourCol[static_cast<std::size_t>(k)];
        if (r < 0 || c < 0 || r >= net.rows() || c >= net.cols() || dir(r, c) == 0)
            return {true, true, {}};
        if (net.contains(r, c))
            return {true, false, {static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)}};
        if (crossed == detour || !beside(net, r, c))
            return {};
    }
}

}  // namespace

NetworkIndex::NetworkIndex(const ByteGrid& raster)
    : rows_(raster.rows()), cols_(raster.cols()), words_((raster.cols() + 63) / 64) {
    bits_.assign(static_cast<std::size_t>(rows_ * words_), 0);
    before_.assign(bits_.size(), 0);
    for (std::int64_t r = 0; r < rows_; ++r) {
        const unsigned char* row = raster.row(r).data();
        std::uint64_t* bits = bits_.data() + r * words_;
        for (std::int64_t c = 0; c < cols_; ++c)
            bits[c >> 6] |= static_cast<std::uint64_t>(row[c] == 1) << (c & 63);
    }
    std::int64_t n = 0;
    for (std::size_t w = 0; w < bits_.size(); ++w) {
        before_[w] = n;
        n += std::popcount(bits_[w]);
    }
    size_ = n;
}

std::int64_t NetworkIndex::rank(std::int64_t r, std::int64_t c) const {
    const std::size_t w = word(r, c);
    const std::uint64_t lower = (std::uint64_t{1} << (c & 63)) - 1;
    return before_[w] + std::popcount(bits_[w] & lower);
}

std::int32_t SegmentGraph::node_at(std::int64_t r, std::int64_t c) const {
    if (!index.contains(r, c))
        return -1;
    const auto i = static_cast<std::size_t>(index.rank(r, c));
    return std::popcount(code[i]) == 2 ? -1 : label[i];
}

std::int32_t SegmentGraph::segment_at(std::int64_t r, std::int64_t c) const {
    if (!index.contains(r, c))
        return -1;
    const auto i = static_cast<std::size_t>(index.rank(r, c));
    return std::popcount(code[i]) == 2 ? label[i] : -1;
}

SegmentGraph build_segment_graph(const ByteGrid& raster) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (raster.rows() > kMax || raster.cols() > kMax)
        throw std::invalid_argument("network raster too large for its graph");
    SegmentGraph g;
    g.index = NetworkIndex(raster);
    const NetworkIndex& net = g.index;
    if (net.size() > kMax)
        throw std::invalid_argument("too many network pixels for the graph of the network");
    const auto n = static_cast<std::size_t>(net.size());
    g.code.resize(n);
    g.label.assign(n, -1);
    g.system_of.assign(n, -1);
    const auto rank = [&](std::int64_t r, std::int64_t c) {
        return static_cast<std::size_t>(net.rank(r, c));
    };
    const auto pixel = [](std::int64_t r, std::int64_t c) {
        return GridPixel{static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)};
    };

    std::size_t i = 0;
    net.for_each([&](std::int64_t r, std::int64_t c) {
        unsigned code = 0;
        for (int k = 0; k < 8; ++k)
            code |= static_cast<unsigned>(net.contains(r + kNeighbourRow[k], c + kNeighbourCol[k]))
                    << k;
        g.code[i++] = kMixed[code];
    });
    const auto degree = [&](std::size_t j) { return std::popcount(g.code[j]); };

    // Visits `start` and every pixel reached from it through neighbours that `claim` takes
    // (claim marks them); returns how many pixels it visited.
    std::vector<GridPixel> stack;
    const auto flood = [&](GridPixel start, const auto& claim) {
        std::int64_t visited = 0;
        stack.push_back(start);
        while (!stack.empty()) {
            const GridPixel p = stack.back();
            stack.pop_back();
            ++visited;
            const std::uint8_t m = g.code[rank(p.row, p.col)];
            for (int k = 0; k < 8; ++k)
                if (m >> k & 1) {
                    const std::int64_t nr = p.row + kNeighbourRow[k], nc = p.col + kNeighbourCol[k];
                    if (claim(rank(nr, nc)))
                        stack.push_back(pixel(nr, nc));
                }
        }
        return visited;
    };

    // Systems, by flood fill from their first pixel.
    net.for_each([&](std::int64_t r, std::int64_t c) {
        const std::size_t j = rank(r, c);
        if (g.system_of[j] >= 0)
            return;
        const auto id = static_cast<std::int32_t>(g.systems.size());
        GraphSystem& sys = g.systems.emplace_back();
        sys.first = pixel(r, c);
        g.system_of[j] = id;
        sys.pixels = flood(sys.first, [&](std::size_t q) {
            if (g.system_of[q] >= 0)
                return false;
            g.system_of[q] = id;
            return true;
        });
    });

    // Nodes: ends, isolated pixels, and junction pixels joined by adjacency.
    net.for_each([&](std::int64_t r, std::int64_t c) {
        const std::size_t j = rank(r, c);
        const int d = degree(j);
        if (d == 2 || g.label[j] >= 0)
            return;
        const auto id = static_cast<std::int32_t>(g.nodes.size());
        GraphNode& node = g.nodes.emplace_back();
        node.first = pixel(r, c);
        node.system = g.system_of[j];
        GraphSystem& sys = g.systems[static_cast<std::size_t>(node.system)];
        g.label[j] = id;
        if (d < 2) {
            node.kind = d == 0 ? NodeKind::isolated : NodeKind::end;
            node.pixels = 1;
            sys.ends += d == 1;
            sys.isolated += d == 0;
            return;
        }
        node.kind = NodeKind::junction;
        ++sys.junctions;
        node.pixels = static_cast<std::int32_t>(flood(node.first, [&](std::size_t q) {
            if (degree(q) < 3 || g.label[q] >= 0)
                return false;
            g.label[q] = id;
            return true;
        }));
        sys.junction_pixels += node.pixels;
    });

    // A segment from vertex `start`, first step k, until a node pixel or back at `start`.
    const auto trace = [&](GridPixel start, int k, bool closed, std::int32_t from) {
        const auto id = static_cast<std::int32_t>(g.segments.size());
        GraphSegment& s = g.segments.emplace_back();
        s.first_vertex = static_cast<std::int64_t>(g.vertices.size());
        s.from_node = from;
        if (closed)
            g.label[rank(start.row, start.col)] = id;
        g.vertices.push_back(start);
        GridPixel p = start;
        while (true) {
            s.length += step_length(k);
            p = pixel(p.row + kNeighbourRow[static_cast<std::size_t>(k)],
                      p.col + kNeighbourCol[static_cast<std::size_t>(k)]);
            g.vertices.push_back(p);
            const std::size_t j = rank(p.row, p.col);
            if (degree(j) != 2) {
                s.to_node = g.label[j];
                break;
            }
            if (closed && p == start)
                break;
            g.label[j] = id;
            k = std::countr_zero(static_cast<unsigned>(g.code[j] & ~(1u << ((k + 4) & 7))));
        }
        s.vertices = static_cast<std::int32_t>(g.vertices.size() - s.first_vertex);
        const GridPixel a = g.vertices[static_cast<std::size_t>(s.first_vertex)];
        s.pixels = s.vertices - (a == p ? 1 : 0);
        s.straight =
            std::hypot(static_cast<double>(p.row - a.row), static_cast<double>(p.col - a.col));
        if (s.from_node != s.to_node)
            s.sinuosity = s.length / s.straight;
        s.system = g.system_of[rank(a.row, a.col)];
        GraphSystem& sys = g.systems[static_cast<std::size_t>(s.system)];
        ++sys.segments;
        sys.length += s.length;
    };

    net.for_each([&](std::int64_t r, std::int64_t c) {
        const std::size_t j = rank(r, c);
        if (degree(j) == 2)
            return;
        const std::int32_t node = g.label[j];
        for (int k = 0; k < 8; ++k) {
            if (!(g.code[j] >> k & 1))
                continue;
            const std::int64_t nr = r + kNeighbourRow[k], nc = c + kNeighbourCol[k];
            const std::size_t q = rank(nr, nc);
            if (degree(q) == 2 ? g.label[q] >= 0 : g.label[q] == node || q < j)
                continue;
            trace(pixel(r, c), k, false, node);
        }
    });
    net.for_each([&](std::int64_t r, std::int64_t c) {
        const std::size_t j = rank(r, c);
        if (degree(j) == 2 && g.label[j] < 0)
            trace(pixel(r, c), std::countr_zero(static_cast<unsigned>(g.code[j])), true, -1);
    });
    // The loop count of a closed loop, or the cycles of a graph of nodes and segments.
    for (GraphSystem& sys : g.systems) {
        const std::int32_t nodes = sys.ends + sys.junctions + sys.isolated;
        sys.loops = nodes == 0 ? 1 : sys.segments - nodes + 1;
    }
    return g;
}

std::optional<GridPixel> first_pixel_without_direction(const ByteGrid& directions) {
    for (std::int64_t r = 0; r < directions.rows(); ++r)
        for (std::int64_t c = 0; c < directions.cols(); ++c) {
            const std::uint8_t v = directions(r, c);
            if (v != 0 && d8_neighbour(v) < 0)
                return GridPixel{static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)};
        }
    return std::nullopt;
}

std::optional<GridPixel> first_pixel_off_network(const SegmentGraph& graph,
                                                 const ByteGrid& directions, int detour) {
    if (directions.rows() != graph.index.rows() || directions.cols() != graph.index.cols())
        throw std::invalid_argument("flow directions not on the network's grid");
    std::optional<GridPixel> bad;
    graph.index.for_each([&](std::int64_t r, std::int64_t c) {
        if (!bad && !follow(graph.index, directions, r, c, detour).valid)
            bad = GridPixel{static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)};
    });
    return bad;
}

void orient_segments(SegmentGraph& g, const ByteGrid& dir, int detour) {
    if (dir.rows() != g.index.rows() || dir.cols() != g.index.cols())
        throw std::invalid_argument("flow directions not on the network's grid");
    const NetworkIndex& net = g.index;
    const auto lands = [&](GridPixel from, GridPixel to) {
        const Step s = follow(net, dir, from.row, from.col, detour);
        return s.valid && !s.outlet && s.to == to;
    };
    for (GraphSegment& s : g.segments) {
        GridPixel* v = g.vertices.data() + s.first_vertex;
        const std::int32_t n = s.vertices;
        std::int64_t forward = 0, backward = 0;
        for (std::int32_t i = 0; i + 1 < n; ++i) {
            // A cut corner or a detour may land a few vertices on.
            bool f = false, b = false;
            for (std::int32_t j = 1; j <= detour + 1; ++j) {
                f = f || (i + j < n && lands(v[i], v[i + j]));
                b = b || (i + 1 - j >= 0 && lands(v[i + 1], v[i + 1 - j]));
            }
            forward += f;
            backward += b;
        }
        if (backward > forward) {
            std::reverse(v, v + n);
            std::swap(s.from_node, s.to_node);
        }
        s.downstream = -1;
        s.strahler = s.shreve = 0;
    }

    // Segments by node, to find the one a node pixel's direction leaves by.
    std::vector<std::int32_t> start(g.nodes.size() + 1, 0);
    for (const GraphSegment& s : g.segments)
        if (!s.closed())
            ++start[static_cast<std::size_t>(s.from_node) + 1];
    for (std::size_t k = 1; k < start.size(); ++k)
        start[k] += start[k - 1];
    std::vector<std::int32_t> leaving(static_cast<std::size_t>(start.back()));
    {
        std::vector<std::int32_t> fill(start.begin(), start.end() - 1);
        for (std::size_t id = 0; id < g.segments.size(); ++id)
            if (!g.segments[id].closed())
                leaving[static_cast<std::size_t>(
                    fill[static_cast<std::size_t>(g.segments[id].from_node)]++)] =
                    static_cast<std::int32_t>(id);
    }
    for (std::size_t id = 0; id < g.segments.size(); ++id) {
        GraphSegment& s = g.segments[id];
        if (s.closed())
            continue;
        const std::int32_t x = s.to_node;
        GridPixel p = g.vertices[static_cast<std::size_t>(s.first_vertex + s.vertices - 1)];
        const GraphNode& node = g.nodes[static_cast<std::size_t>(x)];
        for (std::int32_t steps = 0; steps <= node.pixels; ++steps) {
            const Step st = follow(net, dir, p.row, p.col, detour);
            if (!st.valid || st.outlet)
                break;
            if (g.node_at(st.to.row, st.to.col) == x) {
                p = st.to;
                continue;
            }
            // The segment leaving x whose second vertex is that pixel.
            for (std::int32_t k = start[static_cast<std::size_t>(x)];
                 k < start[static_cast<std::size_t>(x) + 1]; ++k) {
                const GraphSegment& o = g.segments[static_cast<std::size_t>(leaving[k])];
                if (leaving[k] != static_cast<std::int32_t>(id) &&
                    g.vertices[static_cast<std::size_t>(o.first_vertex + 1)] == st.to) {
                    s.downstream = leaving[k];
                    break;
                }
            }
            break;
        }
    }

    // Orders from the sources down.
    const std::size_t ns = g.segments.size();
    std::vector<std::int32_t> upstream(ns, 0), best(ns, 0), best_count(ns, 0), todo;
    for (const GraphSegment& s : g.segments)
        if (s.downstream >= 0)
            ++upstream[static_cast<std::size_t>(s.downstream)];
    std::vector<std::int32_t> waiting(upstream);
    for (std::size_t id = 0; id < ns; ++id)
        if (upstream[id] == 0)
            todo.push_back(static_cast<std::int32_t>(id));
    while (!todo.empty()) {
        const auto id = static_cast<std::size_t>(todo.back());
        todo.pop_back();
        GraphSegment& s = g.segments[id];
        if (upstream[id] == 0) {
            s.strahler = s.shreve = 1;
        } else {
            s.strahler = best[id] + (best_count[id] >= 2 ? 1 : 0);
        }
        if (s.downstream < 0)
            continue;
        const auto d = static_cast<std::size_t>(s.downstream);
        if (s.strahler > best[d]) {
            best[d] = s.strahler;
            best_count[d] = 1;
        } else if (s.strahler == best[d]) {
            ++best_count[d];
        }
        g.segments[d].shreve += s.shreve;
        if (--waiting[d] == 0)
            todo.push_back(s.downstream);
    }
    for (std::size_t id = 0; id < ns; ++id)
        if (g.segments[id].strahler == 0)
            g.segments[id].shreve = 0;

    for (GraphSystem& sys : g.systems) {
        sys.outlets = 0;
        sys.outlet_segment = -1;
        sys.outlet.reset();
        if (sys.isolated)
            sys.outlet = sys.first;
    }
    for (std::size_t id = 0; id < ns; ++id) {
        const GraphSegment& s = g.segments[id];
        if (s.closed() || s.downstream >= 0)
            continue;
        GraphSystem& sys = g.systems[static_cast<std::size_t>(s.system)];
        ++sys.outlets;
        if (sys.outlet_segment < 0 ||
            s.shreve > g.segments[static_cast<std::size_t>(sys.outlet_segment)].shreve) {
            sys.outlet_segment = static_cast<std::int32_t>(id);
            sys.outlet = g.vertices[static_cast<std::size_t>(s.first_vertex + s.vertices - 1)];
        }
    }
    g.oriented = true;
}

void FieldStats::add(double v, std::optional<double> threshold) {
    if (count == 0 || v < min)
        min = v;
    if (count == 0 || v > max)
        max = v;
    ++count;
    sum += v;
    below += threshold && v < *threshold;
}

FieldTables aggregate_fields(const SegmentGraph& g, std::span<const PixelField> fields) {
    FieldTables t;
    t.fields = fields.size();
    t.segments.resize(g.segments.size() * t.fields);
    t.systems.resize(g.systems.size() * t.fields);
    for (std::size_t f = 0; f < t.fields; ++f) {
        const PixelField& field = fields[f];
        for (std::size_t s = 0; s < g.segments.size(); ++s) {
            const GraphSegment& seg = g.segments[s];
            FieldStats& st = t.segments[s * t.fields + f];
            const GridPixel* v = g.vertices.data() + seg.first_vertex;
            for (std::int32_t i = 0; i < seg.pixels; ++i)
                if (const auto x = field.value(v[i].row, v[i].col))
                    st.add(*x, field.below);
        }
        std::size_t j = 0;
        g.index.for_each([&](std::int64_t r, std::int64_t c) {
            const auto sys = static_cast<std::size_t>(g.system_of[j++]);
            if (const auto x = field.value(r, c))
                t.systems[sys * t.fields + f].add(*x, field.below);
        });
    }
    return t;
}

PixelValue grid_value(const RealGrid& grid, std::function<bool(double)> has) {
    return [&grid, has = std::move(has)](std::int64_t r, std::int64_t c) -> std::optional<double> {
        const double v = grid(r, c);
        return has(v) ? std::optional<double>(v) : std::nullopt;
    };
}

PixelValue sparse_value(const SparseField& field, double (*convert)(double)) {
    return [&field, convert](std::int64_t r, std::int64_t c) -> std::optional<double> {
        const auto& col = field.at->col;
        const auto begin = col.begin() + field.at->begin(r);
        const auto end = col.begin() + field.at->end(r);
        const auto at = std::lower_bound(begin, end, static_cast<std::int32_t>(c));
        if (at == end || *at != c)
            return std::nullopt;
        return convert(field.values[static_cast<std::size_t>(at - col.begin())]);
    };
}

}  // namespace ds
