#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a
# shell find there: programs, launcher entry, icons, metainfo, manual pages
# and completion, and that the last two list what the programs' --help lists.
# Usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

sizes=(16 22 24 32 48 64 128 256 512)
expected=(bin/quorvel bin/quorvel-cli bin/quorvel-web lib/systemd/system/quorvel-web.service
    libexec/quorvel/quorvel-legacy-reader
    libexec/quorvel/quorvel-reader
    share/applications/quorvel.desktop
    share/metainfo/org.quorvel.Quorvel.metainfo.xml
    share/icons/hicolor/scalable/apps/quorvel.svg
    share/man/man1/quorvel.1.gz share/man/man1/quorvel-cli.1.gz
    share/bash-completion/completions/quorvel-cli share/doc/quorvel/copyright
    lib/systemd/user/quorvel-inbox@.service)
for size in "${sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/quorvel.png")
done
for file in "${expected[@]}"; do
    [ -s "$prefix/$file" ] || fail "not installed: $file"
done

# Each PNG is as large as the folder it is in says.
for size in "${sizes[@]}"; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/quorvel.png"
    [ -s "$png" ] || continue
    read -r width height < <(python3 -c 'import struct,sys
d=open(sys.argv[1],"rb").read(24)
print(*struct.unpack(">II", d[16:24]))' "$png")
    [ "$width $height" = "$size $size" ] || fail "$png is ${width}x${height}"
done
grep -q '<path' "$prefix/share/icons/hicolor/scalable/apps/quorvel.svg" || fail "SVG icon has no drawing"

desktop="$prefix/share/applications/quorvel.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/org.quorvel.Quorvel.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
grep -qx 'Icon=quorvel' "$desktop" || fail "launcher entry does not name the icon"
grep -qx 'Exec=quorvel %F' "$desktop" || fail "launcher entry does not pass files"
grep -q '^Name\[zh_CN\]=' "$desktop" || fail "launcher entry has no Chinese name"
grep -q '^Comment\[zh_CN\]=' "$desktop" || fail "launcher entry has no Chinese comment"

# The installed command line finds its old-register reader without help.
legacy=$(mktemp -d)
cp "$(dirname "$0")/../data/legacy-registers/bare/文件管理.mdb" "$legacy/"
env -u QUORVEL_LEGACY_READER "$prefix/bin/quorvel-cli" --register "$legacy" convert --dry-run |
    grep -q '可转换记录：0 条' || fail "installed quorvel-cli cannot read an old register"
rm -rf "$legacy"

# The installed programs: version, and Chinese help naming the command.
cli="$prefix/bin/quorvel-cli"
[ "$("$cli" --version)" = "quorvel-cli $version" ] || fail "quorvel-cli --version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$prefix/bin/quorvel" --version)" = "quorvel $version" ] ||
    fail "quorvel --version without a display"
gui_help=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$prefix/bin/quorvel" --help)
case "$gui_help" in "用法：quorvel [选项] [FILE...]"*) ;; *) fail "quorvel --help: ${gui_help%%$'\n'*}" ;; esac
add_help=$("$cli" add --help)
case "$add_help" in "用法：quorvel-cli add [选项] FILE..."*) ;; *) fail "add --help: ${add_help%%$'\n'*}" ;; esac
grep -q '^选项：' <<<"$add_help" || fail "add --help headings are not Chinese"

# Manual pages render cleanly and hold every command; the completion offers
# every command and, per command, every option its --help lists.
for page in quorvel quorvel-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
done
manual=$(zcat "$prefix/share/man/man1/quorvel-cli.1.gz")
completion="$prefix/share/bash-completion/completions/quorvel-cli"
bash -n "$completion" || fail "completion is not valid bash"
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quorvel_cli; echo "${COMPREPLY[*]}"' \
        _ "$completion" "$@"
}
commands=$("$cli" --help | sed -n '/^命令:/,/^$/p' | awk 'NF > 1 {print $1}')
[ -n "$commands" ] || fail "no commands in quorvel-cli --help"
for command in $commands; do
    grep -q "^\.SS $command\$" <<<"$manual" || fail "man quorvel-cli lacks $command"
    offered=" $(complete_words quorvel-cli --register /tmp "$command" -) "
    for option in $("$cli" "$command" --help | grep -oE '^  -[^ ].*' | sed -E 's/  .*//' |
        grep -oE -- '--?[A-Za-z0-9?][A-Za-z0-9-]*'); do
        [[ $offered == *" $option "* ]] || fail "completion of $command lacks $option"
    done
    [[ " $(complete_words quorvel-cli "${command:0:2}") " == *" $command "* ]] ||
        fail "completion does not offer $command"
done

[ "$failures" -eq 0 ] && echo "installed tree checked under a temporary prefix"
exit $((failures > 0))
