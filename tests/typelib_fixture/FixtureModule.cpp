// The module that carries the fixture library as a resource needs no code of
// its own; the Windows linker still wants one object besides the resources.
extern "C" int revdir_typelib_fixture_module_marker;
int revdir_typelib_fixture_module_marker = 0;
