// The code of the version test libraries: they are only read for their
// version resources, never loaded.
extern "C" int kiln_version_test_library() { return 0; }
