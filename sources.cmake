# The component's sources: the one list both targets build from. A new file of
# the component is added here and nowhere else.

# Static data: the release table, installed paths, the version scanner and the
# controller-type catalogue (no COM objects).
set(REVDIR_CATALOG_SOURCES
  catalog/revision_table.cpp
  catalog/installed_path.cpp
  catalog/scan.cpp
  catalog/processor_catalog.cpp
  catalog/processor_tables.cpp)

# The registrar, which runs registry scripts: the component and the tests'
# own server link it.
set(REVDIR_REGISTRAR_SOURCES frame/registrar.cpp)

# The COM objects, the look-ups below them and the module around them,
# lowest layer first (README, "Layout"). The component links the
# communications library (below) for its online road.
set(REVDIR_COMPONENT_SOURCES
  frame/errors.cpp
  frame/module.cpp
  frame/typeinfo_cache.cpp
  resolve/database_version_aliases.cpp
  resolve/version_lookups.cpp
  resolve/project_file.cpp
  revision/processor_type.cpp
  revision/revision.cpp
  revision/progid.cpp
  revision/launch.cpp
  directory/revision_directory.cpp
  directory/revision_lookups.cpp
  directory/alias_registration.cpp
  directory/revision_collections.cpp
  component/exports.cpp
  component/object_map.cpp)

# The communications library: the component's side of the communications
# server (its client library is a product of its own, in commserver/): the
# loader, the context and targets, the packet server, message handles and
# channels, the packet log and the object-definition reader.
set(REVDIR_COMM_SOURCES
  comm/cvapi_loader.cpp
  comm/errors.cpp
  comm/context.cpp
  comm/targets.cpp
  comm/packet_log.cpp
  comm/adf.cpp
  comm/channel.cpp
  comm/packet_server.cpp)

# The controller's identity read through the communications library: the
# component's online road (the directory asks it for a controller's id), and
# the command-line tool shows what it read.
set(REVDIR_ONLINE_SOURCES online/controller_identity.cpp)

# Plain code that tests, benchmarks and fuzz targets also use on its own: the
# scanner of project text exports.
set(REVDIR_SCAN_SOURCES
  resolve/export_scan.cpp)

list(TRANSFORM REVDIR_SCAN_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM REVDIR_CATALOG_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM REVDIR_REGISTRAR_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM REVDIR_COMPONENT_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM REVDIR_ONLINE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM REVDIR_COMM_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
