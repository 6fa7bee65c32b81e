#pragma once

#include "records.h"

#include <cstddef>
#include <iterator>
#include <string_view>

// The window's "Curve" buttons: which response curve of which effect record
// each one edits, under which title and over which input axis.
namespace vorkast::settings {

enum class CurveRecord { Joystick, Pedals };

// What the input value of a curve's last point comes from.
enum class CurveAxis {
    Deflection,  // stick or pedals deflection, 100 %
    Aoa,         // kAoaFullScale degrees
    GForce,      // the record's G-force full scale
    Speed,       // the record's maximum speed, km/h
};

struct CurveBinding
{
    std::string_view button;  // object name of the "Curve" button
    CurveRecord record;
    std::size_t offset;       // of the curve inside its effect record
    const char *title;        // UTF-8
    CurveAxis axis;
};

// Short record names keep the rows readable; they stay in here.
namespace curvebindings_detail {

using JE = JoystickSoftwareSettings;
using PE = PedalsSoftwareSettings;

// The joystick's airbrake and gear titles say "on on speed": users know the
// texts as they are, so they stay word for word.
inline constexpr CurveBinding kCurveBindings[] = {
    {"roll_curve_artificial", CurveRecord::Joystick, offsetof(JE, rollCurveArtificial),
     "Roll artificial spring magnitude(%) depending on stick deflection(%)", CurveAxis::Deflection},
    {"roll_curve_aoa", CurveRecord::Joystick, offsetof(JE, rollCurveAoa),
     "Roll AoA spring magnitude(%) depending on AOA(degrees)", CurveAxis::Aoa},
    {"roll_curve_g_force", CurveRecord::Joystick, offsetof(JE, rollCurveGForce),
     "Roll GForce spring magnitude(%) depending on G", CurveAxis::GForce},
    {"pitch_curve_artificial", CurveRecord::Joystick, offsetof(JE, pitchCurveArtificial),
     "Pitch artificial spring magnitude(%) depending on stick deflection(%)", CurveAxis::Deflection},
    {"pitch_curve_aoa", CurveRecord::Joystick, offsetof(JE, pitchCurveAoa),
     "Pitch AoA spring magnitude(%) depending on AOA(degrees)", CurveAxis::Aoa},
    {"pitch_curve_g_force", CurveRecord::Joystick, offsetof(JE, pitchCurveGForce),
     "Pitch GForce spring magnitude(%) depending on G", CurveAxis::GForce},
    {"yaw_curve_artificial", CurveRecord::Pedals, offsetof(PE, yawCurveArtificial),
     "Yaw artificial spring magnitude(%) depending on pedals deflection(%)", CurveAxis::Deflection},
    {"yaw_curve_aoa", CurveRecord::Pedals, offsetof(PE, yawCurveAoa),
     "Yaw AoA spring magnitude(%) depending on AOA(degrees)", CurveAxis::Aoa},
    {"yaw_curve_g_force", CurveRecord::Pedals, offsetof(PE, yawCurveGForce),
     "Yaw GForce spring magnitude(%) depending on G", CurveAxis::GForce},
    {"joystick_vibe_curve_flaps", CurveRecord::Joystick, offsetof(JE, vibrations.flaps.curve),
     "Flaps shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"joystick_vibe_curve_airbrake", CurveRecord::Joystick, offsetof(JE, vibrations.airbrake.curve),
     "Airbrake shaking effect magnitude(%) depending on on speed (km/h)", CurveAxis::Speed},
    {"joystick_vibe_curve_gear", CurveRecord::Joystick, offsetof(JE, vibrations.gear.curve),
     "Gear shaking effect magnitude(%) depending on on speed (km/h)", CurveAxis::Speed},
    {"joystick_vibe_curve_aoa", CurveRecord::Joystick, offsetof(JE, vibrations.aoa.curve),
     "AoA shaking effects magnitude(%) depending on AoA(degrees)", CurveAxis::Aoa},
    {"joystick_vibe_curve_on_ground", CurveRecord::Joystick,
     offsetof(JE, vibrations.onGround.curve),
     "On ground shaking effects magnitude(%) depending on speed(km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_flaps", CurveRecord::Pedals, offsetof(PE, vibrations.flaps.curve),
     "Flaps shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_airbrake", CurveRecord::Pedals, offsetof(PE, vibrations.airbrake.curve),
     "Airbrake shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_gear", CurveRecord::Pedals, offsetof(PE, vibrations.gear.curve),
     "Gear shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_aoa", CurveRecord::Pedals, offsetof(PE, vibrations.aoa.curve),
     "AoA shaking effects magnitude(%) depending on AoA(degrees)", CurveAxis::Aoa},
    {"pedals_vibe_curve_on_ground", CurveRecord::Pedals, offsetof(PE, vibrations.onGround.curve),
     "On ground shaking effects magnitude(%) depending on speed(km/h)", CurveAxis::Speed},
};

} // namespace curvebindings_detail

using curvebindings_detail::kCurveBindings;

// A slot naming a button the table lacks fails to compile rather than doing nothing.
consteval std::size_t curveBinding(std::string_view button)
{
    for (std::size_t i = 0; i < std::size(kCurveBindings); ++i) {
        if (kCurveBindings[i].button == button)
            return i;
    }
    throw "no curve binding for this button";
}

} // namespace vorkast::settings
