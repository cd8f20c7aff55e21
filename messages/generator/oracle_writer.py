"""Writes a standard ASN.1 copy of the schema for an independent compiler
(Erlang's asn1ct, aligned PER), so that another implementation can check
the wire encoding of every type.

The copy differs from the schema only where standard ASN.1 or standard PER
differs from this system:
- an enumeration whose numbers are not 0..n-1 in declaration order becomes
  INTEGER (0..max) (with "..." where extensible): this system encodes an
  enumerator by its number, standard PER by its position;
- an extensible enumeration numbered 0..n-1 keeps every enumerator in its
  root, because this system counts the additions as root values too;
- names that standard ASN.1 refuses (underscores, a name clash that the
  rename would make) are renamed; every rename is listed in the map that
  names() returns, so that a test can find a type under its oracle name.
"""

import re

from schema_model import Enumerated, Sequence, Choice, references

_VALID = re.compile(r"^[A-Za-z][A-Za-z0-9]*(-[A-Za-z0-9]+)*$")


def _clean(name, taken):
    """A standard name for `name`: underscores become hyphens; repeated or
    trailing hyphens are squeezed; a clash gets a numeric suffix."""
    if _VALID.match(name) and name not in taken:
        return name
    base = re.sub(r"-+", "-", name.replace("_", "-")).strip("-")
    candidate = base
    n = 1
    while candidate in taken or not _VALID.match(candidate):
        n += 1
        candidate = "%s-x%d" % (base, n)
    return candidate


class OracleNames:
    """Oracle names of types (per module) and of members (per type)."""

    def __init__(self, schema):
        self.types = {}    # qualified name -> oracle type name
        self.members = {}  # (qualified name, member) -> oracle member name
        # One compiler run takes every module together, so a type name that
        # two modules define gets the module's name appended in each.
        count = {}
        for td in schema.all_types():
            count[td.name] = count.get(td.name, 0) + 1
        taken = set(td.name for td in schema.all_types()
                    if _VALID.match(td.name) and count[td.name] == 1)
        for td in schema.all_types():
            name = td.name
            if count[name] > 1:
                name = name + td.module.name
            if _VALID.match(name) and (name == td.name or name not in taken):
                new = name
            else:
                new = _clean(name, taken)
            taken.add(new)
            self.types[td.qualified] = new
        for td in schema.all_types():
            t = td.type
            names = []
            if isinstance(t, (Sequence, Choice)):
                names = [c.name for c in t.components()]
            elif isinstance(t, Enumerated):
                names = [e.name for e in t.enumerators]
            taken = set(n for n in names if _VALID.match(n))
            for n in names:
                if _VALID.match(n):
                    self.members[(td.qualified, n)] = n
                else:
                    new = _clean(n, taken)
                    taken.add(new)
                    self.members[(td.qualified, n)] = new

    def type_name(self, td):
        return self.types[td.qualified]

    def member(self, td, name):
        return self.members[(td.qualified, name)]


def _type_text(t, names):
    if t.is_builtin:
        return t.asn()
    if t.is_reference:
        return names.type_name(t.target)
    kw = "SET OF" if t.is_set else "SEQUENCE OF"
    return "%s %s" % (kw, _type_text(t.element, names))


def oracle_enumerated(t):
    """True when an enumeration keeps its ENUMERATED form in the copy."""
    return t.is_positional()


def _enumerated(td, t, names, out, strict):
    if oracle_enumerated(t):
        items = [names.member(td, e.name) for e in t.enumerators]
        if t.extensible:
            items.append("...")
        out.append("%s ::= ENUMERATED { %s }" % (names.type_name(td),
                                                 ", ".join(items)))
        return
    ext = ", ..." if t.extensible and not strict else ""
    out.append("%s ::= INTEGER (0..%d%s)" % (names.type_name(td),
                                             max(t.maximum, 0), ext))


def _constructed(td, t, names, out):
    keyword = t.kind
    out.append("%s ::= %s {" % (names.type_name(td), keyword))
    lines = []
    marker_done = False
    for c in t.components():
        if c.extension and not marker_done:
            lines.append("...")
            marker_done = True
        text = "%s %s" % (names.member(td, c.name), _type_text(c.type, names))
        if getattr(c, "optional", False):
            text += " OPTIONAL"
        lines.append(text)
    if t.extensible and not marker_done:
        lines.append("...")
    for i, line in enumerate(lines):
        sep = "," if i + 1 < len(lines) else ""
        out.append("    %s%s" % (line, sep))
    out.append("}")


def write_module(module, names, strict=False):
    """The copy of one module. The strict copy drops the extension marker
    of the enumerations that became INTEGER: a random value that encodes by
    the strict copy holds no number beyond the root, where this system's
    encoding of enumerations and standard PER part ways."""
    out = ["-- Generated from the message schema: a standard ASN.1 copy for an",
           "-- independent aligned-PER implementation. Do not edit.",
           "%s DEFINITIONS AUTOMATIC TAGS ::=" % module.name,
           "BEGIN"]
    imports = {}
    for td in module.types:
        for ref in references(td.type):
            target = ref.target
            if target.module is not module:
                imports.setdefault(target.module.name, [])
                name = names.type_name(target)
                if name not in imports[target.module.name]:
                    imports[target.module.name].append(name)
    if imports:
        out.append("IMPORTS")
        groups = sorted(imports.items())
        for i, (source, symbols) in enumerate(groups):
            end = ";" if i + 1 == len(groups) else ""
            out.append("    %s FROM %s%s" % (", ".join(symbols), source, end))
    if not module.types:
        # Standard ASN.1 wants at least one assignment.
        out.append("Empty%s ::= NULL" % module.name)
    for td in module.types:
        out.append("")
        t = td.type
        if isinstance(t, Enumerated):
            _enumerated(td, t, names, out, strict)
        elif isinstance(t, (Sequence, Choice)):
            _constructed(td, t, names, out)
        else:
            out.append("%s ::= %s" % (names.type_name(td), _type_text(t, names)))
    out.append("")
    out.append("END")
    return "\n".join(out) + "\n"


