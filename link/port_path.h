#pragma once

#include <QString>

namespace analyzer {

// Where the user says which device stands for which COM port: an entry "comN" (a symbolic
// link to a device, or a device) in $XDG_CONFIG_HOME/battery-analyzer/ports/, with
// XDG_CONFIG_HOME defaulting to ~/.config.
QString portFolder();

// The device that COM `port` opens: the folder's entry "com<port>" where there is one,
// otherwise /dev/ttyS<port-1>, the name Linux gives the built-in port COM <port>. On Windows
// it is "COM<port>" itself.
QString portDevicePath(int port);

} // namespace analyzer
