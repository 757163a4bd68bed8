// Read handles over objects made in an embedded interpreter: what they read, what they refuse,
// how long they live, and reading off the interpreter on a small stack.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "../support/small_stack.hpp"
#include "brenk/embed.hpp"
#include "brenk/json.hpp"
#include "ref.hpp"

namespace {

using brenk::py::Ref;

/// Runs `code` in __main__ and returns the global `result` (null with the error printed).
Ref evaluate(const char* code)
{
    Ref main = Ref::borrow(PyImport_AddModule("__main__"));
    PyObject* globals = PyModule_GetDict(main.get());
    Ref done = Ref::steal(PyRun_String(code, Py_file_input, globals, globals));
    if (!done) {
        PyErr_Print();
        return {};
    }
    return Ref::borrow(PyDict_GetItemString(globals, "result"));
}

const char* const prelude = "from brenk.package.outline import PackageOutline\n"
                            "from brenk.package.constraint import *\n"
                            "from brenk.package.version import Version\n";

Ref run(const std::string& body)
{
    return evaluate((prelude + body).c_str());
}

TEST(Handles, AnOutlineReadsAsTheScriptBuiltIt)
{
    Ref outline = run("result = PackageOutline('zlib', [Depends('libc'), Maximize(SpecOption('zlib', 'level'))],\n"
                      "    set_options={'shared': True, 'level': 9, 'v': Version('1.2.3')},\n"
                      "    set_defaults={'debug': None})\n");
    const auto handle = brenk::embed::outline(outline.get());
    ASSERT_TRUE(handle) << brenk::embed::describe(handle.refusal);
    EXPECT_EQ(handle->name(), "zlib");
    ASSERT_EQ(handle->constraints().size(), 2u);
    EXPECT_EQ(handle->constraints()[0].on(), "libc");
    EXPECT_EQ(handle->constraints()[1].item().package_name(), "zlib");
    std::string options;
    for (const brenk::OptionEntry& e : handle->set_options()) options += std::string(e.name) + ",";
    EXPECT_EQ(options, "level,shared,v,");
    EXPECT_EQ(handle->set_options().find("level")->value.as_int(), 9);
    EXPECT_EQ(handle->set_options().find("v")->value.as_version().text(), "1.2.3");
    EXPECT_FALSE(handle->set_defaults().find("debug")->value);
}

TEST(Handles, OtherObjectsAreRefused)
{
    using brenk::embed::Refusal;
    Ref text = run("result = 'zlib'\n");
    Ref version = run("result = Version('1.0')\n");
    Ref op = run("result = CmpType.Less\n");
    Ref depends = run("result = Depends('a')\n");
    EXPECT_EQ(brenk::embed::outline(text.get()).refusal, Refusal::wrong_class);
    EXPECT_EQ(brenk::embed::outline(depends.get()).refusal, Refusal::wrong_class);
    EXPECT_EQ(brenk::embed::constraint(op.get()).refusal, Refusal::wrong_class);
    EXPECT_EQ(brenk::embed::constraint(version.get()).refusal, Refusal::wrong_class);
    EXPECT_EQ(brenk::embed::version(depends.get()).refusal, Refusal::wrong_class);
    EXPECT_EQ(brenk::embed::outline(nullptr).refusal, Refusal::wrong_class);
    EXPECT_TRUE(brenk::embed::version(version.get()));
    EXPECT_FALSE(PyErr_Occurred());
    // The handles rely on there being no subclass objects: the classes refuse to be subclassed.
    for (const char* cls : {"PackageOutline", "Depends", "Version"}) {
        Ref refused = run(std::string("try:\n    class Sub(") + cls +
                          "): pass\n    result = False\nexcept TypeError:\n    result = True\n");
        EXPECT_EQ(refused.get(), Py_True) << cls;
    }
}

TEST(Handles, AConstraintHandleOutlivesWritesAndTheObject)
{
    Ref depends = run("result = Depends('before')\n");
    const auto handle = brenk::embed::constraint(depends.get());
    ASSERT_TRUE(handle);
    ASSERT_EQ(PyObject_SetAttrString(depends.get(), "on", Ref::steal(PyUnicode_FromString("after")).get()), 0);
    depends = Ref();
    evaluate("result = None\n");
    EXPECT_EQ(handle->view().on(), "before");
    const auto fresh = brenk::embed::constraint(run("result = Depends('after')\n").get());
    EXPECT_EQ(fresh->view().on(), "after");
}

TEST(Handles, AnIfThenIsReadOnlyOnItsThread)
{
    Ref if_then = run("result = IfThen(Depends('a'), Depends('b'))\n");
    EXPECT_TRUE(brenk::embed::constraint(if_then.get()));
    brenk::embed::Refusal elsewhere = brenk::embed::Refusal::none;
    PyThreadState* saved = PyEval_SaveThread();
    std::thread([&] {
        const PyGILState_STATE state = PyGILState_Ensure();
        elsewhere = brenk::embed::constraint(if_then.get()).refusal;
        PyGILState_Release(state);
    }).join();
    PyEval_RestoreThread(saved);
    EXPECT_EQ(elsewhere, brenk::embed::Refusal::wrong_thread);
}

TEST(Handles, ADeepTreeIsReadDetachedOnASmallStack)
{
    constexpr std::size_t depth = 1000000;
    Ref outline = run("t = Depends('leaf')\nfor _ in range(" + std::to_string(depth) +
                      "):\n    t = Maximize(t)\nresult = PackageOutline('deep', [t])\ndel t\n");
    const auto handle = brenk::embed::outline(outline.get());
    ASSERT_TRUE(handle);
    struct Run {
        brenk::OutlineView outline;
        std::size_t deepest = 0;
        std::size_t json = 0;
    } r{*handle};
    PyThreadState* saved = PyEval_SaveThread(); // the reads below need no interpreter
    auto body = [&r] {
        brenk::walk(r.outline.constraints()[0], [&](brenk::ConstraintView, std::size_t d) {
            r.deepest = std::max(r.deepest, d);
            return brenk::Step::into;
        });
        std::string out;
        brenk::write_json(r.outline, out);
        r.json = out.size();
    };
    const bool ran = brenk::testing::on_small_stack(body);
    PyEval_RestoreThread(saved);
    ASSERT_TRUE(ran);
    EXPECT_EQ(r.deepest, depth);
    EXPECT_GT(r.json, depth * 20);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!brenk::embed::register_module()) return 2;
    PyConfig config;
    PyConfig_InitIsolatedConfig(&config);
    const PyStatus status = Py_InitializeFromConfig(&config);
    PyConfig_Clear(&config);
    if (PyStatus_Exception(status)) Py_ExitStatusException(status);
    const int result = RUN_ALL_TESTS();
    return Py_FinalizeEx() < 0 ? 3 : result;
}
