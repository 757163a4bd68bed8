# Developer entry points. The work is done by tools/dev; this file picks where it runs. The
# targets and what each does: tools/commands.py, printed by `tools/dev help`.
#
# Outside the sysroot (BRENK_IN_SYSROOT unset) on a machine without python3.14 on PATH, every
# target reruns itself inside it through tools/devenv; BRENK_DEVENV=1 forces that.

ROOT := $(patsubst %/,%,$(dir $(abspath $(lastword $(MAKEFILE_LIST)))))
INTERP ?= py314
ARGS ?=
RUNS ?= 1000000
WERROR ?= ON
PYTHON ?= python3
REPEATS ?= 100

quote = '$(subst ','\'',$(1))'

ifeq ($(BRENK_IN_SYSROOT)$(BRENK_DEVENV),)
  ifeq ($(shell command -v python3.14 2>/dev/null),)
    BRENK_DEVENV := 1
  endif
endif
# `make clean` alone never needs the sysroot.
DELEGATE := $(if $(BRENK_IN_SYSROOT),,$(if $(BRENK_DEVENV),$(filter-out clean,$(or $(MAKECMDGOALS),build))))

.PHONY: build pytest test lint demo bench fuzz asan clean stress tsan valgrind

ifneq ($(DELEGATE),)
GOALS := $(or $(MAKECMDGOALS),build)
# One sysroot run serves all goals: the first goal runs them, the others do nothing.
# The ThreadSanitizer interpreter is built only for the goals that need it.
$(firstword $(GOALS)):
	@$(if $(filter tsan,$(GOALS)),$(ROOT)/tools/devenv ensure tsan &&) \
	exec $(ROOT)/tools/devenv run $(MAKE) --no-print-directory -C $(ROOT) $(GOALS) \
	    INTERP=$(call quote,$(INTERP)) ARGS=$(call quote,$(ARGS)) \
	    RUNS=$(call quote,$(RUNS)) WERROR=$(call quote,$(WERROR)) REPEATS=$(call quote,$(REPEATS))
$(filter-out $(firstword $(GOALS)),$(GOALS)):
	@:
else
DEV := BRENK_WERROR=$(call quote,$(WERROR)) $(PYTHON) $(ROOT)/tools/dev

build:
	@$(DEV) build
pytest:
	@$(DEV) pytest $(INTERP) $(ARGS)
test:
	@$(DEV) test
lint:
	@$(DEV) lint
demo:
	@$(DEV) demo
bench:
	@$(DEV) bench
fuzz:
	@$(DEV) fuzz $(RUNS)
asan:
	@$(DEV) pytest asan $(ARGS)
valgrind:
	@$(DEV) valgrind $(ARGS)
stress:
	@$(DEV) stress $(REPEATS)
tsan:
	@$(DEV) tsan $(ARGS)
clean:
	rm -rf $(ROOT)/build

.PHONY: wheels
wheels:
	@$(DEV) wheels $(ARGS)
endif
