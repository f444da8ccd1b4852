// A one-pixel-wide network as a graph of line segments between nodes, its drainage systems, and
// their orientation from D8 flow directions.
//
// The network is the set of pixels equal to 1; every other value (255 for isolated pixels
// included) is background, as in the analysis: pass the river as read to keep its isolated
// pixels as one-pixel systems. Steps follow mixed adjacency: two side neighbours are adjacent,
// two diagonal neighbours only when neither of the two pixels beside both is a network pixel.
// At a staircase corner a line then runs through the corner pixel instead of cutting it, so
// every pixel of a line has two neighbours, and the components are the 8-connected ones.
// A pixel with no neighbour is isolated, with one an end, with three or more a junction
// pixel; adjacent junction pixels form one junction node. Every pixel with two neighbours
// lies on exactly one segment: a path from a node pixel to a node pixel (both included as
// first and last vertex), or a closed loop of such pixels. On a network without redundant
// pixels the ends are those that the network summary counts; the junction pixels are those
// it counts minus the side pixels of the corners where a branch leaves a line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "lib/grid.h"
#include "lib/sparse_field.h"

namespace ds {

struct GridPixel {
    std::int32_t row = 0;
    std::int32_t col = 0;
    bool operator==(const GridPixel&) const = default;
};

enum class NodeKind : std::uint8_t { end, junction, isolated };

struct GraphNode {
    NodeKind kind = NodeKind::end;
    GridPixel first;          // its first pixel in raster order
    std::int32_t pixels = 0;  // 1 unless a junction of several pixels
    std::int32_t system = 0;
};

struct GraphSegment {
    std::int32_t from_node = -1;  // -1 at both ends of a closed loop
    std::int32_t to_node = -1;
    std::int64_t first_vertex = 0;    // into SegmentGraph::vertices
    std::int32_t vertices = 0;        // a closed loop repeats its first vertex at the end
    std::int32_t pixels = 0;          // distinct pixels: vertices, less one when the path closes
    double length = 0;                // along the path, in pixel sides (diagonal steps sqrt 2)
    double straight = 0;              // between the first and the last vertex
    std::optional<double> sinuosity;  // length / straight; none when from_node == to_node
    std::int32_t system = 0;
    // From orient_segments: the segment it flows into (-1 at an outlet), Strahler order and
    // Shreve magnitude (0 where the directions make a cycle).
    std::int32_t downstream = -1;
    std::int32_t strahler = 0;
    std::int32_t shreve = 0;

    bool closed() const { return from_node < 0; }
};

struct GraphSystem {
    GridPixel first;  // its first pixel in raster order
    std::int64_t pixels = 0;
    double length = 0;  // of its segments
    std::int32_t segments = 0;
    std::int32_t ends = 0;
    std::int32_t junctions = 0;  // junction nodes
    std::int64_t junction_pixels = 0;
    std::int32_t isolated = 0;  // 1 for a system of one isolated pixel
    std::int32_t loops = 0;     // independent cycles: segments - nodes + 1
    // From orient_segments: the segments without a downstream segment, and the outlet: of
    // those, the one of the largest Shreve magnitude (lowest id on a tie), and its last pixel;
    // an isolated pixel is its own outlet.
    std::int32_t outlets = 0;
    std::int32_t outlet_segment = -1;
    std::optional<GridPixel> outlet;
};

// The pixels equal to 1 of a raster, with a rank for each: its position among them in
// raster order. One bit per pixel and one count per 64 pixels.
class NetworkIndex {
  public:
    NetworkIndex() = default;
    explicit NetworkIndex(const ByteGrid& raster);
    std::int64_t rows() const { return rows_; }
    std::int64_t cols() const { return cols_; }
    std::int64_t size() const { return size_; }
    bool contains(std::int64_t r, std::int64_t c) const {
        if (r < 0 || c < 0 || r >= rows_ || c >= cols_)
            return false;
        const std::size_t w = word(r, c);
        return (bits_[w] >> (c & 63)) & 1;
    }
    // Rank of a network pixel (contains(r, c) must hold).
    std::int64_t rank(std::int64_t r, std::int64_t c) const;
    // Calls f(r, c) for every network pixel in raster order.
    template <class F>
    void for_each(F&& f) const {
        for (std::int64_t r = 0; r < rows_; ++r)
            for (std::int64_t w = 0; w < words_; ++w) {
                std::uint64_t b = bits_[static_cast<std::size_t>(r * words_ + w)];
                while (b != 0) {
                    f(r, w * 64 + __builtin_ctzll(b));
                    b &= b - 1;
                }
            }
    }

  private:
    std::size_t word(std::int64_t r, std::int64_t c) const {
        return static_cast<std::size_t>(r * words_ + (c >> 6));
    }
    std::int64_t rows_ = 0, cols_ = 0, words_ = 0, size_ = 0;
    std::vector<std::uint64_t> bits_;
    std::vector<std::int64_t> before_;  // network pixels before each word
};

struct SegmentGraph {
    NetworkIndex index;
    std::vector<GraphNode> nodes;
    std::vector<GraphSegment> segments;
    std::vector<GraphSystem> systems;
    std::vector<GridPixel> vertices;
    bool oriented = false;

    // Per network pixel, by rank: its mixed-adjacency neighbour code (bit k for neighbour k of
    // network/simple_point.h), its node (node pixels) or segment (the others), its system.
    std::vector<std::uint8_t> code;
    std::vector<std::int32_t> label;
    std::vector<std::int32_t> system_of;

    std::span<const GridPixel> path(const GraphSegment& s) const {
        return {vertices.data() + s.first_vertex, static_cast<std::size_t>(s.vertices)};
    }
    std::span<const GridPixel> path(std::int32_t id) const {
        return path(segments[static_cast<std::size_t>(id)]);
    }
    // The node of a node pixel, or -1 for a pixel on a segment or off the network.
    std::int32_t node_at(std::int64_t r, std::int64_t c) const;
    // The segment of a pixel with two neighbours, or -1 for a node pixel or off the network.
    std::int32_t segment_at(std::int64_t r, std::int64_t c) const;
};

// Builds the graph of the network (pixels equal to 1) of `raster`. Nodes are numbered by their
// first pixel in raster order; segments as traced from the node pixels in raster order, each
// node pixel's neighbours from the north clockwise, then the closed loops by their first
// pixel (each runs clockwise as the raster is drawn, from that pixel); systems by their first
// pixel. Single-threaded: the same raster always gives the same graph. Throws
// std::invalid_argument for a raster beyond 2^31 lines, columns or network pixels.
SegmentGraph build_segment_graph(const ByteGrid& raster);

// D8 directions use the ESRI codes of the flow directions (1 east, 2 south-east, 4 south, 8
// south-west, 16 west, 32 north-west, 64 north, 128 north-east; 0 none). A network pixel's
// direction agrees with the network when its flow path reaches a network pixel after at most
// `detour` background pixels, each beside the network (a thinning moves a line off the flow
// path: one pixel at a cut corner, more where a tributary ran beside the main stem before it
// joined), or when the pixel is an outlet: the path first meets no direction, or leaves the
// raster, or a pixel without a direction. Returns the first
// network pixel in raster order whose direction does not agree. Throws std::invalid_argument
// when `directions` is not of the raster's shape.
// The first cell in raster order that holds neither 0 nor one of the eight codes.
std::optional<GridPixel> first_pixel_without_direction(const ByteGrid& directions);

std::optional<GridPixel> first_pixel_off_network(const SegmentGraph& graph,
                                                 const ByteGrid& directions, int detour = 32);

// Orients every segment from upstream to downstream (the steps its pixels' flow paths take
// along it, forward against backward; a tie keeps the traced order), then finds each
// segment's downstream segment by following the flow from its last pixel through its end
// node, and the Strahler orders, Shreve magnitudes and outlets. Throws as above.
void orient_segments(SegmentGraph& graph, const ByteGrid& directions, int detour = 32);

// A real value per pixel, none where the pixel has none.
using PixelValue = std::function<std::optional<double>(std::int64_t row, std::int64_t col)>;

struct PixelField {
    PixelValue value;
    std::optional<double> below;  // the values below it are counted (TACO 100: meanders)
};

struct FieldStats {
    std::int64_t count = 0;  // pixels with a value
    double sum = 0;
    double min = 0;
    double max = 0;
    std::int64_t below = 0;

    std::optional<double> mean() const {
        return count ? std::optional<double>(sum / static_cast<double>(count)) : std::nullopt;
    }
    std::optional<double> share_below() const {
        return count
                   ? std::optional<double>(static_cast<double>(below) / static_cast<double>(count))
                   : std::nullopt;
    }
    void add(double v, std::optional<double> threshold);
};

// Field statistics per segment (over its distinct pixels, end node pixels included) and per
// system (over its pixels), `fields.size()` per row in the order of the fields.
struct FieldTables {
    std::size_t fields = 0;
    std::vector<FieldStats> segments;
    std::vector<FieldStats> systems;
    const FieldStats& segment(std::size_t s, std::size_t f) const {
        return segments[s * fields + f];
    }
    const FieldStats& system(std::size_t s, std::size_t f) const { return systems[s * fields + f]; }
};

// Sums in path and raster order, the same whatever the threads.
FieldTables aggregate_fields(const SegmentGraph& graph, std::span<const PixelField> fields);

// A field over a grid of the raster's shape: its value where `has` holds.
PixelValue grid_value(const RealGrid& grid, std::function<bool(double)> has);
// A sparse field of the raster's shape: its values at its pixels, through `convert`.
PixelValue sparse_value(const SparseField& field, double (*convert)(double));

}  // namespace ds
