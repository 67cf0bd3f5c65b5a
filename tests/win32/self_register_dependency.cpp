// A library that the self-registering test library needs: the loader must
// find it beside that library.
extern "C" __declspec(dllexport) const char* KilnRegistrationMark() { return "registered"; }
