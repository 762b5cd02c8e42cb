# The Debian package of what cmake --install puts under /usr: in the build
# folder, cpack -G DEB (scripts/package.sh) writes shardix_<version>_<arch>.deb.
# The dependencies come from the libraries the programs are linked with.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shardix)
set(CPACK_PACKAGE_VENDOR "the Shardix! authors")
set(CPACK_PACKAGE_CONTACT "Shardix! authors <support@shardix.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://shardix.example/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut files into pieces, join them, complete truncated files")
set(CPACK_PACKAGE_DESCRIPTION
    "Shardix! is a small desktop utility that cuts a file into a number of pieces
of equal size, assembles pieces, or any files, back into one file, and
completes a truncated file with exactly the bytes it lacks.
.
The command-line tool shardix-cli runs the same operations without windows.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugin, and the checksums libcrypto, at run time,
# out of sight of the library scan.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libssl3")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
