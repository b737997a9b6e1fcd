#!/usr/bin/env bash
# Checks the library graph of src/: each folder is a library, and a library may include headers
# of its own folder and of the folders below it only, in this order from the bottom:
#
#   support <- settings <- keyframes <- coloring <- output <- movie <- app <- ui
#
# Qt headers belong to ui alone. Prints the graph it finds (each library and the libraries it
# includes) and every include that breaks the order; exits 1 when there is one.
#
#   tools/check_includes.sh [SRC_DIR]
set -euo pipefail
src=${1:-$(dirname "$0")/../src}
layers=(support settings keyframes coloring output movie app ui)

rank_of() {  # rank_of NAME: the position of a library in the order, or nothing for no library
    local i
    for i in "${!layers[@]}"; do
        if [ "${layers[$i]}" = "$1" ]; then
            echo "$i"
            return
        fi
    done
}

status=0
for i in "${!layers[@]}"; do
    library=${layers[$i]}
    [ -d "$src/$library" ] || continue
    used=()
    # Every line '#include "folder/file.h"' (and '#include <Q...>') of the library's files.
    while IFS=: read -r file line text; do
        if [[ $text =~ \#include[[:space:]]*\<Q ]]; then
            if [ "$library" != ui ]; then
                echo "$file:$line: $library includes a Qt header: $text"
                status=1
            fi
            continue
        fi
        [[ $text =~ \#include[[:space:]]*\"([a-z_]+)/ ]] || continue
        target=${BASH_REMATCH[1]}
        target_rank=$(rank_of "$target")
        if [ -z "$target_rank" ]; then
            echo "$file:$line: $library includes a header of no library: $text"
            status=1
            continue
        fi
        if [ "$target_rank" -gt "$i" ]; then
            echo "$file:$line: $library includes $target, which lies above it: $text"
            status=1
        fi
        [ "$target" = "$library" ] || used+=("$target")
    done < <(grep -Hn '^[[:space:]]*#[[:space:]]*include' "$src/$library"/*.h "$src/$library"/*.cpp 2> /dev/null || true)
    if [ ${#used[@]} -eq 0 ]; then
        echo "$library: -"
    else
        echo "$library: $(printf '%s\n' "${used[@]}" | sort -u | tr '\n' ' ' | sed 's/ $//')"
    fi
done
if [ $status -ne 0 ]; then
    echo "The order of the libraries is broken (see the lines above)."
fi
exit $status
