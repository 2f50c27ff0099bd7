// The module that carries the fixture library as a resource needs no code of
// its own; the Windows linker still wants one object besides the resources.
extern "C" int g_typelibFixtureModuleMarker;
int g_typelibFixtureModuleMarker = 0;
