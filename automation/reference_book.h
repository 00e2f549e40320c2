// Who holds which channel: references counted per client connection, so that the
// references of a client that goes away can be given back in one step.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tdbus {

class ReferenceBook {
public:
    // One more reference of `client` on object `id`; returns the object's new total.
    std::uint32_t Take(const std::string& client, std::uint32_t id);
    // One reference less; nothing when `client` holds none on `id`. Returns the new total.
    std::optional<std::uint32_t> Drop(const std::string& client, std::uint32_t id);
    // Forgets the client; returns what it held as (object, count), in object order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> DropClient(const std::string& client);
    // Forgets every reference on an object.
    void Forget(std::uint32_t id);

    std::uint32_t Total(std::uint32_t id) const;
    std::uint32_t Held(const std::string& client, std::uint32_t id) const;
    bool Knows(const std::string& client) const { return byClient_.count(client) != 0; }

private:
    std::map<std::string, std::map<std::uint32_t, std::uint32_t>> byClient_;
    std::map<std::uint32_t, std::uint32_t> totals_;
};

}  // namespace tdbus
