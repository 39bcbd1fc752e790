#!/usr/bin/env bash
# Checks the client's folders against the table of the layers they may use.
# The libraries make a call across the layers fail to link; this also catches
# an include that the linker never sees (a header-only class, an enum, a Qt
# module that the library does not link).
#
# usage: check_layers.sh <source root> <Qt header root>
# Prints the include graph between the folders and every forbidden include;
# exits 1 when there was one. Includes without a folder ("buildconfig.h", a
# header beside the file) are left alone.
set -uo pipefail

root=${1:?source root}
qt_headers=${2:?Qt header root}

folders=(net widgets telephony resources shell documents screens app)

# The folders each folder may include besides itself.
declare -A allowed=(
    [net]=""
    [widgets]=""
    [telephony]="net widgets"
    [resources]=""
    [shell]="net widgets telephony"
    [documents]=""
    [screens]="shell widgets telephony net documents"
    [app]="net widgets telephony resources shell documents screens"
)
# The Qt modules a folder may include; unlisted folders may use any.
declare -A qt_modules=(
    [net]="QtCore QtNetwork"
    [documents]="QtCore QtGui"
)

failures=0
declare -A graph

fail() {
    echo "$1" >&2
    failures=$((failures + 1))
}

qt_module_of() {
    local header=$1 module
    for module in "$qt_headers"/Qt*; do
        if [ -e "$module/$header" ]; then
            basename "$module"
            return
        fi
    done
}

for folder in "${folders[@]}"; do
    [ -d "$root/$folder" ] || continue
    while IFS= read -r file; do
        rel=${file#"$root"/}
        while IFS= read -r line; do
            if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
                target=${BASH_REMATCH[1]}
                if [[ $target == */* ]]; then
                    other=${target%%/*}
                    [ "$other" = "$folder" ] && continue
                    graph[$folder]="${graph[$folder]:-} $other"
                    if [[ " ${allowed[$folder]} " != *" $other "* ]]; then
                        fail "$rel: includes \"$target\"; $folder may include only: ${allowed[$folder]:-(nothing)}"
                    fi
                fi
            elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z0-9_/]*)\> ]]; then
                [ -n "${qt_modules[$folder]:-}" ] || continue
                header=${BASH_REMATCH[1]}
                if [[ $header == */* ]]; then
                    module=${header%%/*}
                else
                    module=$(qt_module_of "$header")
                fi
                [ -n "$module" ] || continue
                if [[ " ${qt_modules[$folder]} " != *" $module "* ]]; then
                    fail "$rel: includes <$header> of $module; $folder may use only: ${qt_modules[$folder]}"
                fi
            fi
        done <"$file"
    # resources/artgen is a program of its own, built apart from the client.
    done < <(find "$root/$folder" -path "$root/resources/artgen" -prune -o \( -name '*.h' -o -name '*.cpp' \) -print | sort)
done

echo "Include graph between the folders:"
for folder in "${folders[@]}"; do
    uses=$(tr ' ' '\n' <<<"${graph[$folder]:-}" | sed '/^$/d' | sort -u | tr '\n' ' ')
    printf '  %-10s -> %s\n' "$folder" "${uses:-(nothing)}"
done

if [ "$failures" -gt 0 ]; then
    echo "$failures forbidden include(s)." >&2
    exit 1
fi
echo "Every include keeps to the layers."
