#!/usr/bin/env bash
# Checks of the sources that need no build: the libraries' toolkit boundaries
# and the committed clang-format style. Prints what it finds and exits 1 when
# anything is out of place.
#
#   - No Qt header in the core, the Windows code, the tools, the fuzz targets
#     or the core's tests: they build where Qt is not installed.
#   - No Qt Widgets header outside the Qt front end, its tests and app/.
#   - No front end's header (qt/, win32/) in the core: it serves both.
#   - Every C++ file as clang-format (with .clang-format) would write it.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
problems=0

# Tracked files when this is a git checkout, otherwise every file on disk.
cxx_files() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files --cached --others --exclude-standard -- "$@" | grep -E '\.(cpp|h)$'
    else
        find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null
    fi
}

qt_include='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]|q[a-z0-9_]*\.h)'
widgets_include='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](QtWidgets/|Q(Widget|Application|MainWindow|Dialog|PushButton|Label|LineEdit|CheckBox|MessageBox|Menu|MenuBar|Layout|HBoxLayout|VBoxLayout|GridLayout|Frame|AbstractButton|ToolTip|Style)\b)'

# forbid <pattern> <what it finds> <what passing says> <files...>
forbid() {
    local pattern=$1 fault=$2 passed=$3 found
    shift 3
    if found=$(grep -nE "$pattern" "$@" /dev/null); then
        echo "FAIL $fault:"
        echo "$found" | sed 's/^/    /'
        problems=$((problems + 1))
    else
        echo "ok   $passed ($# files)"
    fi
}

mapfile -t toolkit_free < <(cxx_files src/core src/win32 tools fuzz tests/core tests/support tests/windows)
forbid "$qt_include" "a Qt header where no toolkit may enter" \
    "no Qt header in the core, the Windows code, the tools, fuzz/ or the core's tests" \
    "${toolkit_free[@]}"

front_end_include='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](\.\./)*(qt|win32)/'
mapfile -t core < <(cxx_files src/core)
forbid "$front_end_include" "a front end's header in the core" \
    "no front end's header (qt/, win32/) in the core" "${core[@]}"

mapfile -t outside < <(cxx_files . | grep -vE '^(\./)?(src/qt|app|tests|bench)/'
    cxx_files tests | grep -vE '^(\./)?tests/(mainwindow|timing|update|settings|platform|x11|e2e|fakes)/')
forbid "$widgets_include" "a Qt Widgets header outside the Qt front end" \
    "no Qt Widgets header outside the Qt front end" "${outside[@]}"

mapfile -t all < <(cxx_files .)
if ! command -v clang-format >/dev/null; then
    echo "FAIL clang-format is not installed"
    problems=$((problems + 1))
else
    unformatted=$(clang-format --dry-run --Werror "${all[@]}" 2>&1 |
        grep -oE '^[^: ]+\.(cpp|h)' | sort -u)
    if [[ -n $unformatted ]]; then
        echo "FAIL not as clang-format writes them (clang-format -i <file> fixes each):"
        echo "$unformatted" | sed 's/^/    /'
        problems=$((problems + 1))
    else
        echo "ok   all ${#all[@]} C++ files as clang-format writes them"
    fi
fi

[[ $problems -eq 0 ]]
