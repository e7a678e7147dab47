-- Run by Ardour's Lua session tool: ardour7-lua ardour-reopen.lua DIR NAME
-- Opens the session that ardour-session.lua saved and prints the control values of the plug-in
-- on its track, one "param N = V" line each, as the reopened session holds them.
local dir, name = arg[1], arg[2]

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(backend, "no dummy backend")
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
assert(load_session(dir, name), "the session did not open")

local track = Session:route_by_name("source")
assert(not track:isnil(), "no track")
local plugin = track:nth_plugin(0)
assert(not plugin:isnil(), "no plug-in on the track")
print("reopened plug-in: " .. plugin:display_name())
-- The five control inputs of the plug-in, by their index among its controls.
for i = 0, 4 do
  local v = ARDOUR.LuaAPI.get_processor_param(plugin, i, true)
  print(string.format("param %d = %g", i, v))
end
close_session()
