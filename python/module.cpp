// drainshape._drainshape: the analysis for Python. Parses the arguments with the command line's
// words, converts the network, calls the library (or the run of `drainshape run`) with the GIL
// released, and hands back the products; drainshape/__init__.py gives them their Python face.
#include <pybind11/pybind11.h>

#include <csignal>
#include <exception>
#include <string>
#include <vector>

#include "arrays.h"
#include "drainshape/drainshape.h"
#include "lib/window.h"
#include "python_progress.h"

namespace py = pybind11;

namespace ds::python {

namespace {

using Problem = std::optional<std::string> (*)(const std::string&);

// A whole-number argument, refused as the command line refuses the option: ValueError for a
// number it refuses, TypeError for what is no whole number.
int whole_argument(const char* name, const py::handle& value, Problem problem) {
    const bool whole = PyIndex_Check(value.ptr()) && !PyBool_Check(value.ptr());
    const std::string text = py::str(whole ? py::object(value.attr("__index__")())
                                           : py::reinterpret_borrow<py::object>(value));
    const auto why = problem(text);
    if (!whole)
        raise(PyExc_TypeError,
              std::string(name) + ": " +
                  why.value_or(py::repr(value).cast<std::string>() + " is not a whole number"));
    if (why)
        raise(PyExc_ValueError, std::string(name) + ": " + *why);
    return std::stoi(text);
}

// A word argument ("both", "fast"), refused as the command line refuses the option.
std::string word_argument(const char* name, const py::handle& value, Problem problem) {
    const std::string text = py::str(value);
    const auto why = problem(text);
    if (!py::isinstance<py::str>(value))
        raise(PyExc_TypeError,
              std::string(name) + ": " +
                  why.value_or(py::repr(value).cast<std::string>() + " is not a str"));
    if (why)
        raise(PyExc_ValueError, std::string(name) + ": " + *why);
    return text;
}

// A path given as str or os.PathLike.
std::string path_argument(const char* name, const py::handle& value) {
    if (!py::isinstance<py::str>(value) && !py::hasattr(value, "__fspath__"))
        raise(PyExc_TypeError,
              std::string(name) + ": a path (str or os.PathLike) is needed, not " +
                  py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>());
    const py::object path = py::module_::import("os").attr("fspath")(value);
    if (!py::isinstance<py::str>(path))
        raise(PyExc_TypeError, std::string(name) + ": the path must be text, not bytes");
    return path.cast<std::string>();
}

struct Common {
    int window, regional, mnc;
    bool both;
    Engine engine;
    int threads;
};

Common common_arguments(const py::handle& window, const py::handle& regional, const py::handle& mnc,
                        const py::handle& treatment, const py::handle& engine,
                        const py::handle& threads) {
    return {whole_argument("window", window, side_problem),
            whole_argument("regional", regional, side_problem),
            whole_argument("mnc", mnc, mnc_problem),
            word_argument("treatment", treatment, treatment_problem) == "both",
            engine_of(word_argument("engine", engine, engine_problem)),
            whole_argument("threads", threads, threads_problem)};
}

// Runs `body` without the GIL; returns what stopped it.
template <class Body>
std::exception_ptr without_gil(Body&& body) {
    py::gil_scoped_release release;
    try {
        body();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// Raises in Python what stopped a run: the exception of a Python callback or signal handler as
// it was raised, a signal noted by run_job's handlers as the signal itself, now that Python's
// handlers are back; file errors as OSError and refused memory as MemoryError. `outputs`: the run
// writes files, and the message says what became of them.
[[noreturn]] void raise_failure(std::exception_ptr failure, PythonProgress& progress,
                                const std::string& river, bool outputs) {
    progress.rethrow();
    const RunFailure f = run_failure(failure, river);
    const std::string message = outputs ? failure_message(f) : f.cause;
    switch (f.kind) {
        case RunFailure::Kind::Stopped: {
            const int sig = outputs ? StopSignals::received() : 0;
            if (sig != 0) {
                std::raise(sig);
                if (PyErr_CheckSignals() != 0)
                    throw py::error_already_set();
            }
            raise(sig == SIGINT ? PyExc_KeyboardInterrupt : PyExc_RuntimeError, message);
        }
        case RunFailure::Kind::File:
            raise(PyExc_OSError, message);
        case RunFailure::Kind::Usage:
            raise(PyExc_ValueError, message);
        case RunFailure::Kind::Memory:
            break;
    }
    raise(PyExc_MemoryError, message);
}

py::dict analyse(const py::object& network, const py::object& window, const py::object& regional,
                 const py::object& mnc, const py::object& treatment, const py::object& engine,
                 const py::object& threads, bool fields, bool segments, py::object progress) {
    const Common c = common_arguments(window, regional, mnc, treatment, engine, threads);
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        raise(PyExc_TypeError,
              "progress: " + py::repr(progress).cast<std::string>() + " is not callable");
    AnalysisParameters p;
    p.window = c.window;
    p.regional = c.regional;
    p.mnc = c.mnc;
    p.treatment = c.both ? Treatment::Both : Treatment::Taco;
    p.engine = c.engine;
    p.threads = c.threads;
    p.fields = fields || segments;
    p.regional_fields = fields;

    ByteGrid tab = network_grid(network, p.engine);
    PythonProgress watch(std::move(progress), false);
    Collector products(half_side(p.regional));
    SegmentGraph graph;
    std::optional<SegmentFields> segment_fields;
    Receivers both;
    both.add(products, fields);
    if (segments) {
        graph = build_segment_graph(tab);  // before the analysis marks the isolated pixels
        segment_fields.emplace(graph, p.both());
        both.add(*segment_fields, true);
    }
    AnalysisSummary summary;
    const std::exception_ptr failure =
        without_gil([&] { summary = ds::analyse(tab, p, both, watch); });
    tab = ByteGrid();
    if (failure)
        raise_failure(failure, watch, "the network", false);
    py::dict result = products.result(p, summary);
    if (segments)
        add_tables(result, network_tables(graph, segment_fields->tables(), 1));
    return result;
}

py::dict run(const py::object& river, const py::object& window, const py::object& regional,
             const py::object& mnc, const py::object& treatment, const py::object& name,
             const py::object& out, bool geotiff, bool preview, bool layers, bool segments,
             const py::object& directions, const py::object& engine, const py::object& threads) {
    const Common c = common_arguments(window, regional, mnc, treatment, engine, threads);
    RunOptions o;
    o.river = path_argument("river", river);
    o.window = c.window;
    o.regional = c.regional;
    o.mnc = c.mnc;
    o.both = c.both;
    o.engine = c.engine;
    o.threads = c.threads;
    if (!name.is_none()) {
        if (!py::isinstance<py::str>(name))
            raise(PyExc_TypeError,
                  "name: a generic output name is text, not " + py::repr(name).cast<std::string>());
        o.name = name.cast<std::string>();
    }
    if (!out.is_none())
        o.out = path_argument("out", out);
    o.geotiff = geotiff;
    o.preview = preview;
    o.layers = layers;
    o.segments = segments;
    if (!directions.is_none())
        o.directions = path_argument("directions", directions);
    o.quiet = true;

    RunJob job;
    try {
        job = check_run(o);
    } catch (const UsageError& e) {
        raise(PyExc_ValueError, e.what());
    }
    Collector products(half_side(job.params.regional));
    job.also = &products;
    NetworkTables tables;
    job.tables = &tables;
    PythonProgress watch(py::none(), true);
    std::vector<std::string> warnings;
    AnalysisSummary summary;
    const std::exception_ptr failure = without_gil([&] {
        summary = run_job(job, watch, [&](const std::string& w) { warnings.push_back(w); });
    });
    for (const std::string& w : warnings)
        if (PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1) != 0)
            throw py::error_already_set();
    if (failure)
        raise_failure(failure, watch, job.river_path, true);
    py::dict result = products.result(job.params, summary);
    if (segments)
        add_tables(result, tables);
    return result;
}

}  // namespace

}  // namespace ds::python

PYBIND11_MODULE(_drainshape, m) {
    using namespace ds::python;
    m.doc() = "The compiled part of drainshape; use the package drainshape.";
    m.attr("__version__") = DRAINSHAPE_VERSION;
    py::tuple sides(ds::kWindowSides.size());
    for (std::size_t k = 0; k < ds::kWindowSides.size(); ++k)
        sides[k] = ds::kWindowSides[k];
    m.attr("WINDOW_SIDES") = sides;
    // Name to (description, unit) of every layer, and to the title of every product.
    py::dict layers, products;
    for (const ds::LayerInfo& l : ds::kLayers)
        layers[py::str(std::string(l.name))] =
            py::make_tuple(std::string(l.description), std::string(l.unit));
    for (const ds::ProductInfo& p : ds::kProducts)
        products[py::str(std::string(p.name))] = std::string(p.title);
    m.attr("LAYERS") = layers;
    m.attr("PRODUCTS") = products;
    m.def("analyse", &analyse, py::arg("network"), py::arg("window"), py::arg("regional"),
          py::arg("mnc"), py::arg("treatment"), py::arg("engine"), py::arg("threads"),
          py::arg("fields"), py::arg("segments"), py::arg("progress"));
    m.def("run", &run, py::arg("river"), py::arg("window"), py::arg("regional"), py::arg("mnc"),
          py::arg("treatment"), py::arg("name"), py::arg("out"), py::arg("geotiff"),
          py::arg("preview"), py::arg("layers"), py::arg("segments"), py::arg("directions"),
          py::arg("engine"), py::arg("threads"));
}
