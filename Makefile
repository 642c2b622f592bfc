# Two commands for a fresh Debian 12 machine:
#   make run    install what is missing, build into build/, start the program
#   make test   the same, then run every test
#   make test-sanitize   every test once more, built with ASan and UBSan into build-asan/
#   make fuzz   build the libFuzzer targets with clang into build-fuzz/ and run each a while
#   make install    build, then install under PREFIX (/usr/local unless given); make uninstall
# A second run installs nothing and rebuilds only what changed.

BUILD    ?= build
GENERATOR = Ninja
DEBS      = cmake ninja-build g++ ccache pkg-config qt6-base-dev libsqlite3-dev libblkid-dev sqlite3 clang-format libiso9660-dev libudf-dev xorriso genisoimage \
            qt6-l10n-tools qt6-translations-l10n desktop-file-utils appstream librsvg2-bin man-db libarchive-dev zip python3 \
            postgresql-15 postgresql-contrib libpq-dev
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PREFIX   ?= /usr/local

ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# Only `make fuzz` needs these.
FUZZ_DEBS   = clang libclang-rt-14-dev
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fuzz_FilterExpressions fuzz_FindPatterns fuzz_DescriptorSerial fuzz_BootSectorSerial \
               fuzz_DBImLst fuzz_InfoFiles fuzz_DiscImageSources fuzz_ArchiveReaders

.PHONY: all deps fuzz-deps build run test test-sanitize check-format fuzz bench clean install uninstall

all: build

deps:
	@missing=""; \
	for p in $(DEBS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; \
	fi

fuzz-deps: deps
	@$(MAKE) --no-print-directory deps DEBS="$(FUZZ_DEBS)"

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

run: build
	./$(BUILD)/app/vor-nex

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

# The committed .clang-format decides the layout of every source file.
check-format: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# Fontconfig's caches, filled the first time Qt draws text, are still held at exit and LeakSanitizer
# reports them as leaks: leak checking is off, every other ASan and UBSan finding stops the run.
$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVNX_SANITIZE=ON

test-sanitize: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2

$(FUZZ_BUILD)/build.ninja: | fuzz-deps
	cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DVNX_FUZZ=ON

# Each target runs FUZZ_SECONDS from its seeds; the inputs it learns stay in $(FUZZ_BUILD)/corpus,
# an input that fails lands in $(FUZZ_BUILD)/findings and stops the run.
fuzz: fuzz-deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) --target vnx_fuzz
	@for t in $(FUZZ_TARGETS); do \
	  echo "== $$t"; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/findings; \
	  QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	    $(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- $(FUZZ_BUILD)/corpus/$$t \
	    $$( [ -d fuzz/seeds/$$t ] && echo fuzz/seeds/$$t ) || exit 1; \
	done

# The install's manifest lists every file it put in place, without DESTDIR; uninstalling removes
# those and the program's own folders, and leaves the shared ones (bin, share/icons, ...) as they were.
install: build
	$(SUDO) env DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	@[ -f $(BUILD)/install_manifest.txt ] || { echo "Nothing installed from $(BUILD)"; exit 1; }
	sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest.txt | $(SUDO) xargs -d '\n' rm -f
	-$(SUDO) rmdir $(DESTDIR)$(PREFIX)/share/vor-nex/help $(DESTDIR)$(PREFIX)/share/vor-nex 2>/dev/null

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
