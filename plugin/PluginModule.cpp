// The plug-in module is the exporter library linked whole; its entry points are in
// PluginEntry.cpp.
