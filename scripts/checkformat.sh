#!/usr/bin/env bash
# Checks the C++ files against the committed .clang-format without changing them.
#   checkformat.sh            the files changed since BASE (default: the commit that
#                             formatted the whole tree) and those changed but not committed
#   checkformat.sh --all      every C++ file of the tree
# Prints each file that would change and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
BASE="${ARDEMO_FORMAT_BASE:-$(git log --format=%H -1 --grep='^Format the tree')}"
if [ "${1:-}" = "--all" ] || [ -z "$BASE" ]; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <({ git diff --name-only --diff-filter=d "$BASE" -- '*.cpp' '*.h';
                           git ls-files --others --exclude-standard '*.cpp' '*.h'; } | sort -u)
fi
bad=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "== formatting: these files differ from .clang-format (clang-format -i FILE):"
    printf '   %s\n' "${bad[@]}"
    exit 1
fi
echo "== formatting: ${#files[@]} changed C++ files follow .clang-format"
