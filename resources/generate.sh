#!/usr/bin/env bash
# Regenerates the client's built-in images from their sources: builds the
# drawing program (resources/artgen), lets it draw every picture, assembles
# the animations and the program icon with ImageMagick, rewrites images.qrc
# and writes the contact sheet docs/images.png. The pictures are rewritten by
# repackpng.py into files that read faster, pixel for pixel the same.
#
# The output depends only on the sources and the installed fonts, so running
# it twice gives the same bytes; commit resources/images/, images.qrc and
# docs/images.png together with the change that made them.
#
# Environment: FREYMO_ARTGEN_BUILD, the build folder (default build-artgen).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
# shellcheck source=../scripts/common.sh
source "$repo/scripts/common.sh"

# The drawing program's build, the assembler and the lettering's fonts.
freymo_install_packages g++ cmake ninja-build qtbase5-dev imagemagick fonts-wqy-microhei fonts-urw-base35 python3

build=${FREYMO_ARTGEN_BUILD:-$repo/build-artgen}
cmake -S "$here/artgen" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target freymo-artgen >/dev/null

frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT

images="$here/images"
mkdir -p "$images" "$repo/docs"
rm -f "$images"/*.png "$images"/*.gif "$images"/*.ico

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$frames/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$build/freymo-artgen" render "$images" "$frames"
# The same pixels in files that are cheaper to read (see the script).
python3 "$here/repackpng.py" "$images"/*.png

# Fixed settings and no metadata, so the files carry no dates.
while read -r kind name rest; do
    case "$kind" in
    gif)
        read -r delay files <<<"$rest"
        # shellcheck disable=SC2086
        (cd "$frames" && convert -delay "$delay" -loop 0 -dispose Background +dither $files -strip "gif:$images/$name")
        ;;
    ico)
        # shellcheck disable=SC2086
        (cd "$frames" && convert $rest -strip -define png:exclude-chunks=date,time "ico:$images/$name")
        ;;
    *)
        echo "generate.sh: unknown entry '$kind' in the frame plan" >&2
        exit 1
        ;;
    esac
done <"$frames/assemble.txt"

{
    echo '<!DOCTYPE RCC>'
    echo '<RCC version="1.0">'
    echo '<qresource prefix="/images">'
    (cd "$images" && LC_ALL=C ls) | while read -r file; do
        echo "    <file alias=\"$file\">images/$file</file>"
    done
    echo '</qresource>'
    echo '</RCC>'
} >"$here/images.qrc"

# The desktop entry's icon: the largest picture of the program icon.
largest=$(identify -format '%p %w\n' "$images/logo.ico" | sort -k2 -n | tail -n 1 | cut -d' ' -f1)
convert "$images/logo.ico[$largest]" -strip -define png:exclude-chunks=date,time "png:$repo/dist/freymo.png"

"$build/freymo-artgen" sheet "$images" "$repo/docs/images.png"
echo "generate.sh: $(ls "$images" | wc -l) images in $images, contact sheet in $repo/docs/images.png"
