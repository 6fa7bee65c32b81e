-- Plays DCS World's export environment for the export script given as arg[1].
-- The test drives it one command per line on stdin; every command answers with
-- whatever it printed, then "ok" or "error <message>":
--   run <lua>    runs one line of Lua here (stubs, previous callbacks, checks)
--   load         runs the export script, as Export.lua's dofile line does
--   start        LuaExportStart()
--   frame <ms>   model time in whole milliseconds, then LuaExportAfterNextFrame()
--   stop         LuaExportStop()
-- socketLog lists the script's calls on its UDP socket ("setpeername 127.0.0.1 6666");
-- failSend = true makes the socket's send raise.

local script = assert(arg[1], "usage: lua5.1 dcsharness.lua <export script>")

modelTime = 0
function LoGetModelTime()
    return modelTime
end

socketLog = {}
failSend = false

-- The script's socket, wrapped so that its calls are on record.
local socket = require("socket")
local realUdp = socket.udp
socket.udp = function()
    local real, err = realUdp()
    if not real then
        return nil, err
    end
    local wrapped = {}
    return setmetatable(wrapped, {
        __index = function(_, name)
            local method = real[name]
            if type(method) ~= "function" then
                return method
            end
            return function(self, ...)
                local entry = { name }
                for i = 1, select("#", ...) do
                    entry[#entry + 1] = tostring((select(i, ...)))
                end
                if name ~= "send" then
                    socketLog[#socketLog + 1] = table.concat(entry, " ")
                elseif failSend then
                    error("send failed")
                end
                return method(self == wrapped and real or self, ...)
            end
        end,
    })
end

local commands = {
    run = function(chunk)
        assert(loadstring(chunk, "run"))()
    end,
    load = function()
        dofile(script)
    end,
    start = function()
        LuaExportStart()
    end,
    -- Whole milliseconds: tonumber would read "0.02" by the C locale, which a test may change.
    frame = function(ms)
        modelTime = assert(tonumber(ms:match("^%d+$")), "frame needs whole milliseconds") / 1000
        LuaExportAfterNextFrame()
    end,
    stop = function()
        LuaExportStop()
    end,
}

for line in io.lines() do
    local name, rest = line:match("^(%S+)%s?(.*)$")
    local command = name and commands[name]
    local ok, err
    if command then
        ok, err = pcall(command, rest)
    else
        ok, err = false, "unknown command: " .. line
    end
    print(ok and "ok" or ("error " .. tostring(err):gsub("\n", " ")))
    io.stdout:flush()
end
