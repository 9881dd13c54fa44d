#!/usr/bin/env bash
# The Debian package as a clinic's machine receives it: built by scripts/package, passed by
# lintian without errors, unpacked into a throwaway root (never installed here) and its programs
# run from there on a new demonstration clinic.
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FALLO: $*" >&2
  exit 1
}

deb=$(TV_PACKAGE_BUILD="$build_dir" "$source_dir/scripts/package" "$work/out")
case $(basename "$deb") in
tvfacturacion_*_amd64.deb) ;;
*) fail "nombre del paquete: $deb" ;;
esac

# Warnings are printed for whoever reads the log; only an error fails.
lintian --fail-on error "$deb" | tee "$work/lintian.txt"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libpq5 libxmlsec1-openssl zlib1g libcurl4 libqt6sql6-sqlite; do
  grep -q "$library" <<<"$depends" || fail "Depends no incluye $library: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for path in usr/share/tvfacturacion/Reports/Factura.xml usr/share/tvfacturacion/schema.sql \
  usr/share/applications/tvfacturacion.desktop usr/share/applications/tvfacturacion-demo.desktop \
  usr/share/icons/hicolor/scalable/apps/tvfacturacion.svg usr/share/doc/tvfacturacion/copyright \
  usr/share/doc/tvfacturacion/changelog.gz; do
  [ -f "$root/$path" ] || fail "falta /$path"
done
for program in tvFacturacion tvSetup tvReport tvRegistro tvLibros tvFacturae tvCaja tvCorreo; do
  [ -x "$root/usr/bin/$program" ] || fail "falta /usr/bin/$program"
  zcat "$root/usr/share/man/man1/$program.1.gz" | grep -q "^$program \\\\- " ||
    fail "la página de manual de $program no tiene su nombre"
done
zcat "$root/usr/share/man/man1/tvSetup.1.gz" | grep -q -- "--demo" || fail "tvSetup.1 sin --demo"

export QT_QPA_PLATFORM=offscreen
version=$("$root/usr/bin/tvFacturacion" --version)
[ "$version" = "tvFacturacion $(dpkg-deb -f "$deb" Version)" ] || fail "--version: $version"
"$root/usr/bin/tvSetup" --demo "$work/Tavelo" >/dev/null || fail "tvSetup --demo"
[ -f "$work/Tavelo/Data/Tavelo.db" ] || fail "tvSetup --demo no ha creado Tavelo.db"
# The demo's register, written by the unpacked programs, verifies with the unpacked tvRegistro.
"$root/usr/bin/tvRegistro" --ini "$work/Tavelo/Data/Tavelo.ini" verify >/dev/null ||
  fail "tvRegistro verify sobre la clínica de demostración"
echo "paquete correcto: $(basename "$deb")"
