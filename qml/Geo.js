.pragma library

// Locations of the exit nodes, keyed by the node's public address. The
// service reports only "host:port", so the location is resolved here.
// Entries are deployment data, maintained by hand; the key below is a
// documentation address standing in for the Amsterdam node's own.
var nodes = {
    "203.0.113.10": {
        cc: "NL",
        city: { ru: "Амстердам", en: "Amsterdam" },
        country: { ru: "Нидерланды", en: "Netherlands" }
    }
}

// A colon at index 0 cannot separate a host from a port, so such an
// endpoint is taken whole.
function host(endpoint) {
    if (!endpoint)
        return ""
    var s = String(endpoint)
    var i = s.lastIndexOf(":")
    return i > 0 ? s.substring(0, i) : s
}

function entry(endpoint) {
    var h = host(endpoint)
    return Object.prototype.hasOwnProperty.call(nodes, h) ? nodes[h] : undefined
}

function cc(endpoint) {
    var e = entry(endpoint)
    return e ? e.cc : "•"
}

function city(endpoint, lang) {
    var e = entry(endpoint)
    if (!e)
        return host(endpoint)
    return lang === "ru" ? e.city.ru : e.city.en
}

function country(endpoint, lang) {
    var e = entry(endpoint)
    if (!e)
        return ""
    return lang === "ru" ? e.country.ru : e.country.en
}
