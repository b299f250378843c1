-- The tests' session manager: the default policies, without D-Bus (no portal, no device
-- reservation) and without hardware monitors, in place of the system's own file.
load_module("metadata")
default_access.properties["enable-flatpak-portal"] = false
default_access.enable()
device_defaults.enable()
stream_defaults.enable()
load_script("intended-roles.lua")
load_script("suspend-node.lua")
