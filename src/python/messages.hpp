#pragma once
// Every text of the binding that Python code can observe: exception messages, log records,
// source locations in internal-failure reports, names. Callers and tests match them byte for
// byte, so they are part of the module's contract: change one only on purpose, with its tests.
// Texts the core renders (constraints, values, versions, the truncation marker) live in the core.

namespace brenk::py::messages {

// --- Argument binding (printf formats filled by PyErr_Format) ---
/// More positional arguments than parameters, all of them required.
inline constexpr const char* too_many_positional = "%s takes %d positional arguments but %zd %s given";
/// More positional arguments than parameters, some of them optional.
inline constexpr const char* too_many_positional_range = "%s takes from %d to %d positional arguments but %zd %s given";
/// A required parameter left empty; the list names each in quotes.
inline constexpr const char* missing_required = "%s missing %d required positional %s: %s";
/// A parameter given positionally and by keyword.
inline constexpr const char* multiple_values = "%s got multiple values for argument '%s'";
/// A keyword that names no parameter of a callable that refuses extras.
inline constexpr const char* unexpected_keyword = "%s got an unexpected keyword argument '%S'";

// --- Conversions (std::format formats around a rendered type or name) ---
/// A TypeError re-raised for the argument that failed: its name, the original message.
inline constexpr const char* argument_failed = "argument '{}': {}";
/// A type's qualified name, the target's name.
inline constexpr const char* cannot_be_cast = "'{}' object cannot be cast as '{}'";
/// A type whose qualified name cannot be read.
inline constexpr const char* unknown_type_name = "<failed to extract type name>";
/// In place of the str() of an object when it raises: the type's name; without one, the next.
inline constexpr const char* unprintable_named = "<unprintable {} object>";
inline constexpr const char* unprintable = "<unprintable object>";
/// The rendered type; also the ERROR log record.
inline constexpr const char* constraint_conversion = "cannot convert '{}' to Constraint";
/// The rendered type; also the ERROR log record.
inline constexpr const char* option_conversion = "cannot cast Python type '{}' to SpecOptionValue";
/// A str given where a list of constraints is expected.
inline constexpr const char* str_is_not_a_list = "Can't extract `str` to `Vec`";
/// The keyword, a ValueError and its log record.
inline constexpr const char* outline_keyword = "PyPackageOutline unexpected keyword argument '{}'";
/// The type's qualified name (a class whose __new__ was replaced).
inline constexpr const char* not_constructed = "'{}' object was not created by its constructor";

// --- Objects and properties ---
inline constexpr const char* cannot_delete = "can't delete attribute";
inline constexpr const char* already_mutably_borrowed = "Already mutably borrowed";
inline constexpr const char* already_borrowed = "Already borrowed";
/// The RuntimeError reported through the unraisable hook when an IfThen dies on another thread.
inline constexpr const char* if_then_dropped =
    "brenk::package::constraint::if_then::IfThen is unsendable, but is being dropped on another thread";
/// A class or the module needed again while this thread is still creating it.
inline constexpr const char* recursive_initialisation = "recursive initialisation of a process-wide value";
/// A class type that could not be created; the cause is chained.
inline constexpr const char* class_init_failed = "An error occurred while initializing class %s";

// --- Internal failures (PanicException) ---
inline constexpr const char* dict_changed_size = "dictionary changed size during iteration";
inline constexpr const char* dict_keys_changed = "dictionary keys changed during iteration";
inline constexpr const char* subscriber_already_set =
    "Failed to set subscriber: SetGlobalDefaultError(\"a global default trace dispatcher has already been set\")";
/// The text of the write error.
inline constexpr const char* failed_printing = "failed printing to stdout: {}";
inline constexpr const char* all_append_failed = "could not append __name__ to __all__";
inline constexpr const char* unexpected_native = "unexpected native exception";
/// SystemError for an option value of no known kind (a corrupted record).
inline constexpr const char* unknown_option_kind = "option value of unknown kind";
/// SystemError when a CPython call failed without setting an exception.
inline constexpr const char* no_exception_set = "attempted to fetch exception but none was set";
/// The report on stderr, a printf format for the thread id and the location, followed by the message.
inline constexpr const char* panic_report_format = "brenk: internal failure on thread %llu at %s: ";
/// On stderr when a PanicException from Python code called back is passed on.
inline constexpr const char* panic_propagated =
    "brenk: a PanicException raised by Python code called from brenk is propagated\n";
/// An IfThen used on another thread: the calling thread's id, the owning thread's.
inline constexpr const char* if_then_sent = "brenk::package::constraint::if_then::IfThen is unsendable, but sent to "
                                            "another thread (calling thread {} != owning thread {})";
/// The class name of PanicException.
inline constexpr const char* panic_type_name = "brenk_runtime.PanicException";

// --- Source locations, named in internal-failure reports and carried by log records ---
inline constexpr const char* at_lib = "src/lib";
inline constexpr const char* at_if_then = "src/package/constraint/if_then";
inline constexpr const char* at_constraint = "src/package/constraint/mod";
inline constexpr const char* at_option = "src/spec/spec_option";
inline constexpr const char* at_outline = "src/package/outline";

// --- Log records: "{label} {target}: {message}", with colour "{colour}{label}{reset} {dim}{target}{reset}{dim}:{reset}
// {message}" ---
/// Indexed by Level, Trace to Error.
inline constexpr const char* level_labels[] = {"TRACE", "DEBUG", " INFO", " WARN", "ERROR"};
inline constexpr const char* level_colours[] = {"\x1b[35m", "\x1b[34m", "\x1b[32m", "\x1b[33m", "\x1b[31m"};
inline constexpr const char* colour_reset = "\x1b[0m";
inline constexpr const char* colour_dim = "\x1b[2m";

/// Written to stdout in place of a record that could not be formatted: file, line, level, target.
inline constexpr const char* unformattable_record =
    "brenk: unformattable log record at %s:%d (level %s, target %s, fields: message)\n";
/// Written to stderr when a record could not be written to stdout: the error's text.
inline constexpr const char* unwritable_record = "brenk: could not write a log record to standard output: %s\n";

// --- Log targets, printed in every record ---
inline constexpr const char* target_top = "brenk";
inline constexpr const char* target_constraint = "brenk::package::constraint";
inline constexpr const char* target_option = "brenk::spec::spec_option";
inline constexpr const char* target_outline = "brenk::package::outline";

// --- Output ---
inline constexpr const char* tracing_activated = "tracing activated";
inline constexpr const char* entry_line = "brenk entrypoint\n";
/// Second interpreter importing the module.
inline constexpr const char* subinterpreter_refused =
    "brenk keeps process-wide state and its modules do not yet support subinterpreters; import it only from the "
    "main interpreter";

} // namespace brenk::py::messages
