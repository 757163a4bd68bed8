// A small host: starts an interpreter with brenk built in, runs package scripts, and prints
// every outline they bind, read through the read API.
#include <Python.h>

#include <brenk/embed.hpp>
#include <brenk/read.hpp>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void print_value(const brenk::OptionValueView& v)
{
    switch (v.kind()) {
    case brenk::OptionKind::Bool:
        std::cout << (v.as_bool() ? "true" : "false");
        break;
    case brenk::OptionKind::Int:
        std::cout << v.as_int();
        break;
    case brenk::OptionKind::Float:
        std::cout << v.as_float();
        break;
    case brenk::OptionKind::Str:
        std::cout << '"' << v.as_str() << '"';
        break;
    case brenk::OptionKind::Version:
        std::cout << "version " << v.as_version().text() << " ("
                  << std::distance(v.as_version().begin(), v.as_version().end()) << " parts)";
        break;
    }
}

/// Prints a tree as nested Kind(...) without recursion: fields on the way in, ")" on the way out.
struct Printer final : brenk::Visitor {
    std::size_t children_seen_at_depth[64] = {};
    brenk::Step enter(brenk::ConstraintView c, std::size_t) override
    {
        std::cout << brenk::name_of(c.kind()) << '(';
        switch (c.kind()) {
        case brenk::ConstraintKind::Cmp:
            std::cout << brenk::symbol_of(c.op()) << ' ';
            break;
        case brenk::ConstraintKind::Depends:
            std::cout << c.on();
            break;
        case brenk::ConstraintKind::SpecOption:
            std::cout << c.package_name() << '.' << c.option_name();
            break;
        case brenk::ConstraintKind::Value:
            print_value(c.value());
            break;
        default:
            break;
        }
        return brenk::Step::into;
    }
    void leave(brenk::ConstraintView, std::size_t) override { std::cout << ") "; }
};

void print_outline(brenk::OutlineView outline)
{
    std::cout << "outline " << outline.name() << "\n";
    for (brenk::ConstraintView c : outline.constraints()) {
        std::cout << "  constraint ";
        Printer printer;
        brenk::walk(c, printer);
        std::cout << "\n";
    }
    for (const brenk::OptionEntry& e : outline.set_options()) {
        std::cout << "  option " << e.name << " = ";
        print_value(e.value);
        std::cout << "\n";
    }
    for (const brenk::DefaultEntry& e : outline.set_defaults()) {
        std::cout << "  default " << e.name << " = ";
        if (e.value) {
            print_value(*e.value);
        }
        else {
            std::cout << "(none)";
        }
        std::cout << "\n";
    }
}

/// Runs one script in a namespace of its own and prints the outlines it bound; false when it raised.
bool run(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::perror(path);
        return false;
    }
    PyObject* globals = PyDict_New();
    PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins());
    PyObject* result = PyRun_FileEx(file, path, Py_file_input, globals, globals, 1);
    const bool ok = result != nullptr;
    if (ok) {
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(globals, &pos, &key, &value)) {
            // A view is valid while `globals` keeps the outline alive.
            if (auto outline = brenk::embed::outline(value)) print_outline(*outline);
        }
    }
    else {
        PyErr_Print();
    }
    Py_XDECREF(result);
    Py_DECREF(globals);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (!brenk::embed::register_module()) return 1;
    Py_Initialize();
    bool ok = true;
    for (int i = 1; i < argc; ++i) ok = run(argv[i]) && ok;
    return Py_FinalizeEx() == 0 && ok ? 0 : 1;
}
