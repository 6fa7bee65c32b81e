--[==[
Vorkast telemetry export for DCS World.

Sends the flight state of the player's aircraft to Vorkast system settings,
every 20 ms of simulation time, as one UDP datagram to 127.0.0.1 port 6666:

  on_ground;airspeed_kmh;vertical_speed_ms;g;aoa_deg;thrust;flaps;airbrake;brake;gear;0;0;valid

Numbers always carry a '.' decimal point. Without an aircraft (spectator,
after ejecting) every field is 0, valid included; while the simulation is
paused nothing is sent.

Installation: copy this file to  Saved Games\DCS\Scripts\VorkastExport.lua  and
add this line at the end of  Saved Games\DCS\Scripts\Export.lua  (create the
file if it does not exist):

  pcall(dofile, require('lfs').writedir() .. [[Scripts\VorkastExport.lua]])

Other exporters keep working: the LuaExportStart, LuaExportAfterNextFrame and
LuaExportStop already defined when this file runs are called as before, and an
error of this script is logged to dcs.log, never passed on to DCS.

Where DCS exports no such value:
  on ground  the aircraft is less than `onGroundBelow` metres above the ground
             (LoGetAltitudeAboveGroundLevel) with its gear down; a very low pass
             with gear down counts as on ground.
  thrust     the highest engine RPM in percent (LoGetEngineInfo); set the
             "Thrust (kg)" telemetry limits to about 100 when flying DCS.

Angle of attack: Export.lua's own reference lists LoGetAngleOfAttack in
radians, but exporters in use disagree and many pass it on as degrees. This
script sends it unchanged, as degrees. If the Telemetry debug view shows an
AoA around 0.1 while the cockpit shows 6 degrees, set `aoaInRadians` below to
true.
]==]

local settings = {
    host = "127.0.0.1",
    port = 6666,
    aoaInRadians = false,
    onGroundBelow = 5.0,  -- metres between the aircraft's reference point and the ground
}
-- A VorkastExportOptions table defined before this file runs overrides the
-- settings above; the tests use it to send to a port of their own.
if type(VorkastExportOptions) == "table" then
    for key, value in pairs(VorkastExportOptions) do
        if settings[key] ~= nil then
            settings[key] = value
        end
    end
end

local INTERVAL = 0.02  -- seconds of simulation time between datagrams

local previousStart = LuaExportStart
local previousAfterNextFrame = LuaExportAfterNextFrame
local previousStop = LuaExportStop

local udp = nil
local nextSend = nil
local reported = {}

local function report(message)
    message = tostring(message)
    if reported[message] then
        return  -- one line per distinct error, not fifty a second
    end
    reported[message] = true
    if log and log.write and log.ERROR then
        pcall(log.write, "VORKAST", log.ERROR, message)
    elseif print then
        print("VORKAST: " .. message)
    end
end

-- A Lo* function's result, or nil when the function is missing, fails or is
-- not available for this aircraft; one bad value never costs the whole record.
local function get(name)
    local fn = _G[name]
    if type(fn) ~= "function" then
        return nil
    end
    local ok, value = pcall(fn)
    if not ok then
        report(name .. ": " .. tostring(value))
        return nil
    end
    return value
end

local function number(value)
    if type(value) ~= "number" or value ~= value or value == math.huge or value == -math.huge then
        return 0
    end
    return value
end

-- string.format follows the C locale's decimal point, which DCS may have set to ','.
local function decimal(value)
    return (string.format("%.3f", number(value)):gsub(",", "."))
end

local function fraction(mech, part)
    local entry = type(mech) == "table" and mech[part]
    return type(entry) == "table" and number(entry.value) or 0
end

local function thrust()
    local engines = get("LoGetEngineInfo")
    local rpm = type(engines) == "table" and engines.RPM
    if type(rpm) ~= "table" then
        return 0
    end
    return math.max(number(rpm.left), number(rpm.right))
end

local function record()
    if type(get("LoGetSelfData")) ~= "table" then
        return "0;0;0;0;0;0;0;0;0;0;0;0;0"
    end

    local mech = get("LoGetMechInfo")
    local gear = type(mech) == "table" and type(mech.gear) == "table" and number(mech.gear.value) or 1
    local height = get("LoGetAltitudeAboveGroundLevel")
    local onGround = type(height) == "number" and height < settings.onGroundBelow and gear >= 0.9

    local acceleration = get("LoGetAccelerationUnits")
    local g = type(acceleration) == "table" and acceleration.y or 0
    local aoa = number(get("LoGetAngleOfAttack"))
    if settings.aoaInRadians then
        aoa = math.deg(aoa)
    end

    return table.concat({
        onGround and "1" or "0",
        decimal(number(get("LoGetIndicatedAirSpeed")) * 3.6),
        decimal(get("LoGetVerticalVelocity")),
        decimal(g),
        decimal(aoa),
        decimal(thrust()),
        decimal(fraction(mech, "flaps")),
        decimal(fraction(mech, "speedbrakes")),
        decimal(fraction(mech, "wheelbrakes")),
        decimal(fraction(mech, "gear")),
        "0",
        "0",
        "1",
    }, ";")
end

-- LuaSocket as DCS ships it, in the LuaSocket folder of the installation.
package.path = package.path .. ";.\\LuaSocket\\?.lua"
package.cpath = package.cpath .. ";.\\LuaSocket\\?.dll"

local function close()
    if udp then
        udp:close()
        udp = nil
    end
end

local function open()
    close()
    local socket = require("socket")
    local s = assert(socket.udp())
    s:settimeout(0)
    assert(s:setpeername(settings.host, settings.port))
    udp = s
    nextSend = nil
end

local function frame()
    if not udp then
        return
    end
    local now = get("LoGetModelTime")
    if type(now) ~= "number" then
        now = os.clock()
    end
    -- Model time starting over (a new flight in the same session) restarts the pacing.
    if nextSend and now < nextSend - INTERVAL then
        nextSend = nil
    end
    if nextSend and now < nextSend then
        return
    end
    -- Keeps 50 a second on average at any frame rate; after a stall it resumes
    -- from now rather than sending the missed datagrams in a burst.
    nextSend = (nextSend or now) + INTERVAL
    if nextSend <= now then
        nextSend = now + INTERVAL
    end
    udp:send(record())
end

local function guarded(work)
    local ok, err = pcall(work)
    if not ok then
        report(err)
    end
end

function LuaExportStart()
    guarded(open)
    if previousStart then
        return previousStart()
    end
end

function LuaExportAfterNextFrame()
    guarded(frame)
    if previousAfterNextFrame then
        return previousAfterNextFrame()
    end
end

function LuaExportStop()
    guarded(close)
    if previousStop then
        return previousStop()
    end
end
