#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running
# Quorvel needs. Packages already installed are skipped.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libxkbcommon-dev libsqlite3-dev libxxhash-dev
    mdbtools-dev libpq-dev
    libpoppler-qt6-dev libtesseract-dev libuchardet-dev libarchive-dev
    # the browser front end: its HTTP library and the password hashes
    libcpp-httplib-dev libsodium-dev
    # the register as an .xlsx workbook
    libxlsxwriter-dev
    # install and package checks
    desktop-file-utils appstream lintian dpkg-dev fakeroot man-db
    # run
    libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins qt6-translations-l10n fonts-noto-cjk fonts-wqy-microhei xdg-utils libmdb3
    # reading the stored copies' content: old office files, RTF, pictures, recognition
    catdoc antiword unrtf qt6-image-formats-plugins tesseract-ocr-chi-sim tesseract-ocr-eng
    # a register on a database server, and the throw-away servers its tests start
    postgresql
    # the command-line benchmark's comparison, and the content readers'
    sqlite3 poppler-utils tesseract-ocr unzip
    # documents the content readers' tests and benchmark write (for Debian's
    # /usr/bin/python3), and an old Word file converted by the office suite
    python3-docx python3-openpyxl python3-reportlab libreoffice-writer-nogui
    # the browser front end's tests drive a real browser; its benchmark
    # compares with nginx's static serving
    chromium chromium-driver python3-selenium nginx-light
    # screenshots and desktop tests
    xvfb xauth openbox trayer xdotool x11-utils x11-xserver-utils imagemagick
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
echo "bootstrap: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
