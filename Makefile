# Developer entry points. The work is done by tools/dev; this file picks where it runs.
#
#   make build                      the module for py314, py314d, py313t and the core tests
#   make pytest INTERP=py314d ARGS="-k version"
#   make test                       everything, warnings as errors, one summary line at the end
#   make demo | make fuzz SECONDS=60 | make asan ARGS=... | make clean
#   make wheels                     sdist + wheels (3.14, 3.13t), the tests against each installed wheel
#
# Outside the sysroot (BRENK_IN_SYSROOT unset) on a machine without python3.14 on PATH, every
# target reruns itself inside it through tools/devenv; BRENK_DEVENV=1 forces that.

ROOT := $(patsubst %/,%,$(dir $(abspath $(lastword $(MAKEFILE_LIST)))))
INTERP ?= py314
ARGS ?=
SECONDS ?= 60
WERROR ?= ON
PYTHON ?= python3

quote = '$(subst ','\'',$(1))'

ifeq ($(BRENK_IN_SYSROOT)$(BRENK_DEVENV),)
  ifeq ($(shell command -v python3.14 2>/dev/null),)
    BRENK_DEVENV := 1
  endif
endif
# `make clean` alone never needs the sysroot.
DELEGATE := $(if $(BRENK_IN_SYSROOT),,$(if $(BRENK_DEVENV),$(filter-out clean,$(or $(MAKECMDGOALS),build))))

.PHONY: build pytest test demo fuzz asan clean

ifneq ($(DELEGATE),)
GOALS := $(or $(MAKECMDGOALS),build)
# One sysroot run serves all goals: the first goal runs them, the others do nothing.
$(firstword $(GOALS)):
	@exec $(ROOT)/tools/devenv run $(MAKE) --no-print-directory -C $(ROOT) $(GOALS) \
	    INTERP=$(call quote,$(INTERP)) ARGS=$(call quote,$(ARGS)) \
	    SECONDS=$(call quote,$(SECONDS)) WERROR=$(call quote,$(WERROR))
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
demo:
	@$(DEV) demo
fuzz:
	@$(DEV) fuzz $(SECONDS)
asan:
	@$(DEV) pytest asan $(ARGS)
clean:
	rm -rf $(ROOT)/build

.PHONY: wheels
wheels:
	@$(DEV) wheels $(ARGS)
endif
