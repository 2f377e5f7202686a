#pragma once
// A named list of events replayed as a unit by an event of type 3, shifted so
// that the group's earliest event starts at the playing event's start_beat.
// The members are ordinary events of the Demo's table; the group only points
// at them.
//
// Binary load:  g.read_binary(in);  ...after every table is read: g.wire(ids);
// JSON load:    g.from_json(obj, dir);  ...after all events: g.wire_names(obj, names);
// Playing, for the playing event E at beat x:
//               float d = g.child_beat(E, x);
//               for (Event* c : g.events) if (c && EventGroup::plays(*c, d)) ...
//
// `events` may hold nulls (an unknown identity or name); skip them.
#include <string>
#include <string_view>
#include <vector>

#include "package/serializable.h"

namespace qh {

struct ControlPointCurve;

class EventGroup : public ISerializable {
public:
    std::string name;
    std::vector<Event*> events;

    // The identities read for `events`, until wire() resolves them.
    std::vector<ResourceId> event_ids;

    // The smallest start_beat among the members; 0 when there are none.
    float earliest_start() const;
    // The beat at which members are evaluated while `player` plays the group
    // at `beat`: the group's earliest member lines up with player.start_beat.
    float child_beat(const Event& player, float beat) const;
    // Whether `member` is active at its group beat `d` (half-open window,
    // unlike the closed window of curve evaluation).
    static bool plays(const Event& member, float d);
    // The beat at which an override curve of `player` is evaluated for
    // `member` at group beat `d`: the time since the member started, counted
    // from the player's start.
    static float override_beat(const Event& player, const Event& member, float d);
    // The curve of `player` named member.name + "." + parameter, which
    // overrides the member's own curve of that parameter (a uniform or a text
    // texture), or null. Builds no string.
    static const ControlPointCurve* override_curve(const Event& player, const Event& member,
                                                   std::string_view parameter);

    // True when playing this group can reach a group already being played
    // (a member plays this group again, directly or through nested groups),
    // which would recurse without end. A loader should refuse such a group.
    bool recurses() const;

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    // Resolves event_ids into `events`, in order; unknown identities, and
    // identities of records that are not events, give null members.
    void wire(const IdentityMap& ids);
    // Resolves the names under "events" in `value`, this group's JSON object;
    // an element that is not a string gives a null member without a lookup.
    void wire_names(const JsonValue& value, NameTables& names);
};

// Warnings about a group's JSON object: a "name" or "events" of the wrong
// kind, and member names that are not strings.
void lint_event_group_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
