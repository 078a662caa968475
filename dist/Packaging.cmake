# The Debian package (`./quillora package`, or `cpack -G DEB` in the build folder):
# build/quillora_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillora")
set(CPACK_PACKAGE_CONTACT "Quillora maintainers <maintainers@quillora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move, update and compare records of Paradox and dBase tables")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Quillora moves, updates, compares and edits the records of Paradox (.db) and dBase (.dbf)\n"
       "table files, keeping their indexes and memo files current. Every change can be undone.\n"
       "The package holds the desktop program (quillora) and its command-line companion\n"
       "(quillora-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries the programs link come from dpkg-shlibdeps (Debian's libqt6gui6 carries the X11
# and offscreen platform plugins); the fonts the windows are laid out for are loaded at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-wayland")
include(CPack)
