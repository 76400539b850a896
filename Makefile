# Set-up, build, run and test. Everything is installed from Debian's packages by scripts/setup.sh.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: run screenshots test setup build build-asan build-tsan unit-test asan-test tsan-test bench fuzz clean

# With no ARGS the tracker opens on the demo song; `wendmoor_qt` alone opens no song window.
run: build
	./$(BUILD)/wendmoor_qt $(or $(ARGS),$(BUILD)/demo.wm)

# Pictures of each page and of the settings window, in $(BUILD)/screenshots/.
SCREENSHOT_SONG ?= ../shared/corpus/songs/Fight2.it
screenshots: build
	bash scripts/screenshots.sh "$(SCREENSHOT_SONG)" $(BUILD)/screenshots $(BUILD)

test: build build-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

setup:
	@bash scripts/setup.sh

# Generators differ between machines; reconfigure when the cache came from another one.
$(BUILD)/.configured: CMakeLists.txt | setup
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDMOOR_WERROR=ON
	@touch $@

$(ASAN_BUILD)/.configured: CMakeLists.txt | setup
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DWENDMOOR_SANITIZE=ON \
		-DWENDMOOR_GUI=OFF -DWENDMOOR_BENCH=OFF -DWENDMOOR_WERROR=ON
	@touch $@

$(TSAN_BUILD)/.configured: CMakeLists.txt | setup
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDMOOR_TSAN=ON \
		-DWENDMOOR_GUI=ON -DWENDMOOR_BENCH=OFF -DWENDMOOR_WERROR=ON
	@touch $@

build: setup $(BUILD)/.configured
	cmake --build $(BUILD) -j $(JOBS)

build-asan: setup $(ASAN_BUILD)/.configured
	cmake --build $(ASAN_BUILD) -j $(JOBS)

unit-test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan-test: build-asan
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

build-tsan: setup $(TSAN_BUILD)/.configured
	cmake --build $(TSAN_BUILD) -j $(JOBS)

# The tests where two threads meet (the audio thread against the interface and the song
# windows' timers, the drivers' own threads, the command-line player), under
# ThreadSanitizer: any report fails the test.
TSAN_TESTS := Audio_Thread_Race|LiveOutput|RtAudioDriver|DriverMixdown|WavDiskWriter|DriverManager|MutexLock|AudioThreadSignal|Pattern\.|CliPlay|ProgramEntry|GuiAudioThread|Sample_Slot_Operations_Live
tsan-test: build-tsan
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

bench: build
	@ls $(BUILD)/bench/ 2>/dev/null

fuzz: setup
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DWENDMOOR_FUZZ=ON -DWENDMOOR_GUI=OFF -DWENDMOOR_TESTS=OFF -DWENDMOOR_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz
