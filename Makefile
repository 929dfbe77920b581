# The engine alone, for engine testers (OpenBench workers run `make -j EXE=PATH CXX=COMPILER`
# and then `PATH bench`). CMake stays the build: this only drives it, in a Release build
# directory of its own per compiler, without the tests, tools and benchmarks.
#
#   make                      ./vorlak with the default C++ compiler
#   make -j EXE=path CXX=cxx  the engine at path, compiled by cxx
#   make clean                removes this Makefile's build directories and ./vorlak

EXE ?= vorlak
CMAKE ?= cmake
# make's own default for CXX is g++; CMake is told the compiler only when it was chosen.
ifeq ($(origin CXX),default)
  COMPILER_FLAG :=
  COMPILER_NAME := default
else
  COMPILER_FLAG := -DCMAKE_CXX_COMPILER=$(CXX)
  COMPILER_NAME := $(subst /,_,$(CXX))
endif
BUILD_DIR ?= build/make-$(COMPILER_NAME)

.PHONY: all clean FORCE

all: $(EXE)

# CMake decides what is out of date, so the binary is always handed to it; "+" lets the
# build underneath share the jobs of `make -j`.
$(EXE): FORCE
	$(CMAKE) -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVORLAK_TESTS=OFF $(COMPILER_FLAG)
	+$(CMAKE) --build $(BUILD_DIR) --target vorlak
	@mkdir -p $(dir $(EXE))
	cp $(BUILD_DIR)/vorlak $(EXE)

clean:
	rm -rf build/make-*
	rm -f vorlak

FORCE:
