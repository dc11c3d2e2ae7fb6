// The cohort key of a client, computed by nginx (njs) for split_clients:
// an IPv4 address whole; an IPv6 address cut to its /64, written as its
// first four groups of four lower-case hexadecimal digits and "::/64"; an
// IPv4-mapped IPv6 address as its IPv4 address. plumix-publish computes
// the same key for the same address; keep the two in step.

function hex4(value) {
    var text = value.toString(16);
    while (text.length < 4) {
        text = '0' + text;
    }
    return text;
}

function groupsOf(part) {
    if (part === '') {
        return [];
    }
    var groups = part.split(':');
    var last = groups[groups.length - 1];
    if (last.indexOf('.') >= 0) {
        var octets = last.split('.').map(Number);
        groups.splice(groups.length - 1, 1,
                      ((octets[0] << 8) | octets[1]).toString(16),
                      ((octets[2] << 8) | octets[3]).toString(16));
    }
    return groups.map(function (group) { return parseInt(group, 16); });
}

function ipv6Groups(address) {
    var halves = address.split('::');
    var head = groupsOf(halves[0]);
    if (halves.length === 1) {
        return head;
    }
    var tail = groupsOf(halves[1]);
    var zeros = [];
    while (head.length + zeros.length + tail.length < 8) {
        zeros.push(0);
    }
    return head.concat(zeros, tail);
}

function keyOfAddress(address) {
    if (address.indexOf(':') < 0) {
        return address;
    }
    var groups = ipv6Groups(address.toLowerCase());
    if (groups[0] === 0 && groups[1] === 0 && groups[2] === 0 && groups[3] === 0 &&
        groups[4] === 0 && groups[5] === 0xffff) {
        return [groups[6] >> 8, groups[6] & 0xff, groups[7] >> 8, groups[7] & 0xff].join('.');
    }
    return groups.slice(0, 4).map(hex4).join(':') + '::/64';
}

function key(r) {
    return keyOfAddress(r.remoteAddress);
}

export default { key: key };
