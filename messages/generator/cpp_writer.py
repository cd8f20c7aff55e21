"""Writes the C++ message classes of one module.

Per module M (namespace M) three files, under messages/<m>/:
  M_decl.h  the enumeration classes and forward declarations of the other
            classes: everything another module's class declarations need;
  M.h       the record and choice classes, then the headers of the imported
            modules, then the inline accessor bodies. Headers of modules that
            import each other include each other only after their class
            definitions, so every body sees complete classes whatever the
            include order;
  M.cpp     the constant descriptors (names, field and alternative tables,
            enumerator tables) and the out-of-line destructors.

The descriptors are constant-initialised aggregates (addresses and
literals only), so no module depends on another's static constructors.
Accessors check nothing in release builds; debug builds assert the
selection of a choice and the existence of an optional field's value.
"""

from cpp_names import (cpp_class, class_name, has_own_descriptor,
                       integer_class, member, module_dir, nested, qualified,
                       resolve_alias, value_parameter)
from schema_model import Choice, Enumerated, SchemaError, Sequence, references

HEADER_NOTE = "// Generated from %s.asn by messages/generator. Do not edit."

_BUILTIN_INFO = {
    "BOOLEAN": "ASN1::BOOLEAN::theInfo",
    "NULL": "ASN1::Null::theInfo",
    "OCTET STRING": "ASN1::OCTET_STRING::theInfo",
    "IA5String": "ASN1::IA5String::theInfo",
    "BIT STRING": "ASN1::BIT_STRING::theInfo",
    "BMPString": "ASN1::BMPString::theInfo",
    "OBJECT IDENTIFIER": "ASN1::OBJECT_IDENTIFIER::theInfo",
    "GeneralizedTime": "ASN1::GeneralizedTime::theInfo",
}


def guard(module, suffix):
    return "MESSAGES_%s_%s_H" % (module.name.upper(), suffix)


def own_info_name(td, comp):
    return "%s__%s__info" % (class_name(td), member(comp.name))


def info_expr(t, td=None, comp=None):
    """Address of the descriptor of a field, alternative or element type."""
    if has_own_descriptor(t):
        return "&%s" % own_info_name(td, comp)
    if t.is_builtin:
        if t.name == "INTEGER":
            return "&%s::theInfo" % integer_class(t.constraint)
        return "&" + _BUILTIN_INFO[t.name]
    return "&%s::theInfo" % cpp_class(t)


def imported_modules(module):
    """Modules whose types this module names, in a fixed order."""
    names = []
    for td in module.types:
        for ref in references(td.type):
            other = ref.target.module
            if other is not module and other.name not in names:
                names.append(other.name)
    return sorted(names)


# ---------------------------------------------------------------- M_decl.h

def write_decl(module):
    out = [HEADER_NOTE % module.name,
           "// Enumerations and forward declarations of module %s." % module.name,
           "#ifndef %s" % guard(module, "DECL"),
           "#define %s" % guard(module, "DECL"),
           "",
           '#include "asn1/asn1.h"',
           "",
           "namespace %s {" % module.name,
           ""]
    for td in module.types:
        if td.kind in ("SEQUENCE", "CHOICE"):
            out.append("class %s;" % class_name(td))
    for td in module.types:
        if td.kind == "ENUMERATED":
            out.append("")
            out.extend(enum_class(td))
    out.append("")
    out.append("}  // namespace %s" % module.name)
    # Aliases may name classes of other modules: declare those first.
    aliases = [td for td in module.types if td.kind in ("ALIAS", "LIST", "BUILTIN")]
    if aliases:
        for name in imported_modules(module):
            out.append('#include "messages/%s/%s_decl.h"' % (module_dir(name), name))
        out.append("namespace %s {" % module.name)
        for td in aliases:
            if has_own_descriptor(td.type):
                raise SchemaError("%s: a named size-constrained string is not "
                                  "supported" % td.qualified)
            out.append("typedef %s %s;" % (cpp_class(td.type), class_name(td)))
        out.append("}  // namespace %s" % module.name)
    out.append("")
    out.append("#endif")
    return "\n".join(out) + "\n"


def enum_class(td):
    t = td.type
    name = class_name(td)
    out = ["// ENUMERATED%s" % (", extensible" if t.extensible else ""),
           "class %s : public ASN1::ENUMERATED {" % name,
           " public:",
           "  enum NamedNumber {"]
    for e in t.enumerators:
        out.append("    %s = %d," % (nested(e.name), e.value))
    out += ["  };",
            "  static const InfoType theInfo;",
            "",
            "  %s() : ASN1::ENUMERATED(&theInfo) {}" % name,
            "  %s(NamedNumber value) : ASN1::ENUMERATED(&theInfo) { ASN1::ENUMERATED::setFromInt(value); }" % name,
            "  %s(const %s& other) : ASN1::ENUMERATED(other) {}" % (name, name),
            "  ~%s() override;" % name,
            "  %s& operator=(const %s& other) {" % (name, name),
            "    ASN1::ENUMERATED::operator=(other);",
            "    return *this;",
            "  }",
            "  %s& operator=(NamedNumber value) {" % name,
            "    ASN1::ENUMERATED::setFromInt(value);",
            "    return *this;",
            "  }",
            "  operator NamedNumber() const { return NamedNumber(ASN1::ENUMERATED::asInt()); }",
            "  %s* clone() const { return static_cast<%s*>(ASN1::AbstractData::clone()); }" % (name, name),
            ""]
    for e in t.enumerators:
        n = member(e.name)
        v = nested(e.name)
        out.append("  bool is_%s() const { return ASN1::ENUMERATED::asInt() == %s; }" % (n, v))
        out.append("  void set_%s() { ASN1::ENUMERATED::setFromInt(%s); }" % (n, v))
    out += ["};",
            "// One entry per enumerator in declaration order: the name, with",
            "// \"=\" and the number where counting on from the entry before",
            "// would not give it.",
            "extern const char* const %s_enum_names__[%d];" % (name, len(t.enumerators))]
    return out


# ---------------------------------------------------------------- M.h

class _Body:
    """Collects the accessor bodies: inline ones go after all class
    definitions of the header, those that need another module's record or
    choice class complete go to the module's source file."""

    def __init__(self, module):
        self.module = module
        self.lines = []
        self.outline = []
        self.foreign = False

    def start(self, t):
        """Starts the bodies of one accessor group of type t."""
        self.foreign = is_foreign(t, self.module)

    def add(self, text):
        if self.foreign:
            self.outline.append(text.replace("inline ", "", 1) if text.startswith("inline ") else text)
        else:
            self.lines.append(text)


def is_foreign(t, module):
    """Whether accessing a value of type t needs a class of another module
    complete: a record, a choice or a list of them from another module.
    Enumerations of other modules are complete in their _decl.h."""
    t = resolve_alias(t)
    if t.is_list:
        return is_foreign(t.element, module)
    if t.is_reference:
        td = t.target
        return td.module is not module and td.kind in ("SEQUENCE", "CHOICE")
    return False


def write_header(module):
    out = [HEADER_NOTE % module.name,
           "// Message classes of module %s." % module.name,
           "//",
           "// Every class adds typed accessors to its runtime base and no data.",
           "// Accessors check nothing (debug builds assert): test X_isSelected()",
           "// before get_X() of a choice, X_isPresent() before get_X() of an",
           "// optional field. Values own their components.",
           "//",
           "// Records and choices of other modules are declared here, not defined:",
           "// include their module's header to use them (\"messages/term/TERM.h\").",
           "#ifndef %s" % guard(module, "H"),
           "#define %s" % guard(module, "H"),
           "",
           "#include <cassert>",
           "#include <string>",
           "#include <vector>",
           "",
           '#include "asn1/asn1.h"',
           '#include "messages/%s/%s_decl.h"' % (module_dir(module.name), module.name)]
    imports = imported_modules(module)
    for name in imports:
        out.append('#include "messages/%s/%s_decl.h"' % (module_dir(name), name))
    out += ["", "namespace %s {" % module.name]
    body = _Body(module)
    for td in module.types:
        if td.kind == "SEQUENCE":
            out.append("")
            out.extend(sequence_class(td, body))
        elif td.kind == "CHOICE":
            out.append("")
            out.extend(choice_class(td, body))
    out += ["", "}  // namespace %s" % module.name, ""]
    out.append("namespace %s {" % module.name)
    out.extend(body.lines)
    out += ["", "}  // namespace %s" % module.name, "", "#endif"]
    return "\n".join(out) + "\n"


def sequence_class(td, body):
    t = td.type
    name = class_name(td)
    root = t.root
    num_optional = sum(1 for f in root if f.optional)
    note = "SEQUENCE" + (", extensible" if t.extensible else "")
    out = ["// %s" % note,
           "class %s : public ASN1::SEQUENCE {" % name,
           " public:",
           "  static const InfoType theInfo;",
           "  static const ASN1::TypeInfo* const fieldInfos[%d];" % max(len(t.fields), 1),
           "  static const int fieldIds[%d];" % max(len(t.fields), 1),
           "  static const char* const fieldNames[%d];" % max(len(t.fields), 1),
           "",
           "  %s() : ASN1::SEQUENCE(&theInfo) {}" % name,
           "  %s(const %s& other) : ASN1::SEQUENCE(other) {}" % (name, name),
           "  ~%s() override;" % name,
           "  %s& operator=(const %s& other) {" % (name, name),
           "    ASN1::SEQUENCE::operator=(other);",
           "    return *this;",
           "  }",
           "  %s* clone() const { return static_cast<%s*>(ASN1::AbstractData::clone()); }" % (name, name)]
    bit = 0
    addition = 0
    for index, f in enumerate(t.fields):
        cls = cpp_class(f.type)
        n = member(f.name)
        if f.extension:
            presence = num_optional + addition
            addition += 1
        elif f.optional:
            presence = bit
            bit += 1
        else:
            presence = None
        param, how = value_parameter(f.type)
        out.append("")
        out.append("  // %s%s" % (f.name, "" if presence is None else
                                 (" (extension addition)" if f.extension else " (OPTIONAL)")))
        out.append("  const %s& get_%s() const;" % (cls, n))
        out.append("  %s& ref_%s();" % (cls, n))
        out.append("  %s& set_%s();" % (cls, n))
        if param:
            out.append("  void set_%s(%s value);" % (n, param))
        if presence is not None:
            out.append("  bool %s_isPresent() const { return ASN1::SEQUENCE::hasOptionalField(%d); }" % (n, presence))
            out.append("  void omit_%s() { ASN1::SEQUENCE::removeOptionalField(%d); }" % (n, presence))
        q = "%s::" % name
        body.start(f.type)
        body.add("")
        if presence is None:
            body.add("inline const %s& %sget_%s() const {" % (cls, q, n))
            body.add("  return static_cast<const %s&>(*ASN1::SEQUENCE::getField(%d));" % (cls, index))
            body.add("}")
            body.add("inline %s& %sref_%s() { return static_cast<%s&>(*ASN1::SEQUENCE::getField(%d)); }"
                     % (cls, q, n, cls, index))
            body.add("inline %s& %sset_%s() { return ref_%s(); }" % (cls, q, n, n))
        else:
            body.add("inline const %s& %sget_%s() const {" % (cls, q, n))
            body.add("  assert(ASN1::SEQUENCE::getField(%d) != nullptr);" % index)
            body.add("  return static_cast<const %s&>(*ASN1::SEQUENCE::getField(%d));" % (cls, index))
            body.add("}")
            body.add("inline %s& %sref_%s() {" % (cls, q, n))
            body.add("  assert(ASN1::SEQUENCE::getField(%d) != nullptr);" % index)
            body.add("  return static_cast<%s&>(*ASN1::SEQUENCE::getField(%d));" % (cls, index))
            body.add("}")
            body.add("inline %s& %sset_%s() {" % (cls, q, n))
            body.add("  return static_cast<%s&>(*ASN1::SEQUENCE::includeOptionalField(%d, %d));"
                     % (cls, presence, index))
            body.add("}")
        if param:
            body.add("inline void %sset_%s(%s value) { %s }" % (q, n, param, store("set_%s()" % n, f.type)))
    out.append("};")
    return out


def is_integer(t):
    base = resolve_alias(t)
    return base.is_builtin and base.name == "INTEGER"


def store(target, t):
    """Statement that stores `value` into the object `target` evaluates to."""
    base = resolve_alias(t)
    if base.is_builtin and base.name == "INTEGER":
        return "%s.setValue(int(value));" % target
    if base.is_reference and base.target.kind == "ENUMERATED":
        return "%s.setFromInt(value);" % target
    return "%s = value;" % target


def choice_class(td, body):
    t = td.type
    name = class_name(td)
    note = "CHOICE" + (", extensible" if t.extensible else "")
    out = ["// %s" % note,
           "class %s : public ASN1::CHOICE {" % name,
           " public:",
           "  static const InfoType theInfo;",
           "  static const ASN1::TypeInfo* const selectionInfos[%d];" % len(t.alternatives),
           "  static const char* const selectionNames[%d];" % len(t.alternatives),
           "",
           "  // The alternatives' tags: %s(%s::X::id, value) selects X." % (name, name)]
    for k, a in enumerate(t.alternatives):
        out.append("  struct %s { enum Id { id = %d }; };" % (nested(a.name), k))
    out += ["",
            "  %s() : ASN1::CHOICE(&theInfo) {}" % name,
            "  %s(const %s& other) : ASN1::CHOICE(other) {}" % (name, name)]
    for k, a in enumerate(t.alternatives):
        param, how = value_parameter(a.type)
        tag = "%s::Id" % nested(a.name)
        if how == "null":
            out.append("  explicit %s(%s) : ASN1::CHOICE(&theInfo) { select_%s(); }"
                       % (name, tag, member(a.name)))
            out.append("  %s(%s, const ASN1::Null&) : ASN1::CHOICE(&theInfo) { select_%s(); }"
                       % (name, tag, member(a.name)))
        else:
            out.append("  %s(%s, %s value) : ASN1::CHOICE(&theInfo) { select_%s(value); }"
                       % (name, tag, param, member(a.name)))
            if is_integer(a.type):
                # The alternative's own class too, as every other kind takes
                # it (through the number for an INTEGER it would not convert).
                out.append("  %s(%s, const %s& value) : ASN1::CHOICE(&theInfo) { select_%s() = value; }"
                           % (name, tag, cpp_class(resolve_alias(a.type)), member(a.name)))
    out += ["  ~%s() override;" % name,
            "  %s& operator=(const %s& other) {" % (name, name),
            "    ASN1::CHOICE::operator=(other);",
            "    return *this;",
            "  }",
            "  %s* clone() const { return static_cast<%s*>(ASN1::AbstractData::clone()); }" % (name, name)]
    q = "%s::" % name
    for k, a in enumerate(t.alternatives):
        cls = cpp_class(a.type)
        n = member(a.name)
        param, how = value_parameter(a.type)
        out.append("")
        out.append("  // %s%s" % (a.name, " (extension)" if a.extension else ""))
        body.start(a.type)
        out.append("  bool %s_isSelected() const { return ASN1::CHOICE::currentSelection() == %d; }" % (n, k))
        out.append("  const %s& get_%s() const;" % (cls, n))
        out.append("  %s& ref_%s();" % (cls, n))
        out.append("  %s& select_%s();" % (cls, n))
        if param:
            out.append("  void select_%s(%s value);" % (n, param))
        body.add("")
        body.add("inline const %s& %sget_%s() const {" % (cls, q, n))
        body.add("  assert(ASN1::CHOICE::currentSelection() == %d);" % k)
        body.add("  return static_cast<const %s&>(*ASN1::CHOICE::getSelection());" % cls)
        body.add("}")
        body.add("inline %s& %sref_%s() {" % (cls, q, n))
        body.add("  assert(ASN1::CHOICE::currentSelection() == %d);" % k)
        body.add("  return static_cast<%s&>(*ASN1::CHOICE::getSelection());" % cls)
        body.add("}")
        body.add("inline %s& %sselect_%s() {" % (cls, q, n))
        body.add("  return static_cast<%s&>(" % cls)
        body.add("      *ASN1::CHOICE::setSelection(%d, ASN1::AbstractData::create(selectionInfos[%d])));" % (k, k))
        body.add("}")
        if param:
            body.add("inline void %sselect_%s(%s value) { %s }" % (q, n, param, store("select_%s()" % n, a.type)))
    out.append("};")
    return out


# ---------------------------------------------------------------- M.cpp

def cstring(s):
    return '"%s"' % s.replace("\\", "\\\\").replace('"', '\\"')


def own_descriptor(td, comp):
    t = comp.type
    c = t.constraint
    upper = 0xFFFFFFFF if c.upper is None else c.upper
    kind = ["ASN1::Unconstrained", "ASN1::PartiallyConstrained",
            "ASN1::FixedConstraint", "ASN1::ExtendableConstraint"][c.kind]
    name = own_info_name(td, comp)
    if t.name == "IA5String":
        return ["const ASN1::AbstractString::InfoType %s = {" % name,
                "    {{&ASN1::IA5String::create, 22}, %s, %d, %du}," % (kind, c.lower, upper),
                "    ASN1::IA5StringSet, 128, 7, 7, 8};"]
    if t.name == "OCTET STRING":
        return ["const ASN1::OCTET_STRING::InfoType %s = {" % name,
                "    {&ASN1::OCTET_STRING::create, 4}, %s, %d, %du};" % (kind, c.lower, upper)]
    if t.name == "BIT STRING":
        return ["const ASN1::BIT_STRING::InfoType %s = {" % name,
                "    {&ASN1::BIT_STRING::create, 3}, %s, %d, %du};" % (kind, c.lower, upper)]
    if t.name == "BMPString":
        return ["const ASN1::BMPString::InfoType %s = {" % name,
                "    {{&ASN1::BMPString::create, 30}, %s, %d, %du}," % (kind, c.lower, upper),
                "    0, 65535, 16, 16};"]
    raise SchemaError("no descriptor for %s" % t.name)


def write_source(module):
    out = [HEADER_NOTE % module.name,
           "// Constant descriptors of module %s, and the accessors that reach" % module.name,
           "// records and choices of other modules.",
           '#include "messages/%s/%s.h"' % (module_dir(module.name), module.name)]
    for name in imported_modules(module):
        out.append('#include "messages/%s/%s.h"' % (module_dir(name), name))
    out += ["", "namespace %s {" % module.name]
    own = []
    for td in module.types:
        if td.kind in ("SEQUENCE", "CHOICE"):
            for c in td.type.components():
                if has_own_descriptor(c.type):
                    own.extend(own_descriptor(td, c))
    if own:
        out += ["", "namespace {", "// Size-constrained string types of fields and alternatives."]
        out += own
        out += ["}  // namespace"]
    body = _Body(module)
    for td in module.types:
        if td.kind == "SEQUENCE":
            sequence_class(td, body)
        elif td.kind == "CHOICE":
            choice_class(td, body)
    out.extend(body.outline)
    for td in module.types:
        out.append("")
        if td.kind == "SEQUENCE":
            out.extend(sequence_source(td))
        elif td.kind == "CHOICE":
            out.extend(choice_source(td))
        elif td.kind == "ENUMERATED":
            out.extend(enum_source(td))
    out += ["", "}  // namespace %s" % module.name]
    return "\n".join(out) + "\n"


def _list(items, indent="    "):
    return [indent + item + "," for item in items]


def sequence_source(td):
    t = td.type
    name = class_name(td)
    fields = t.fields
    out = ["// %s" % td.name,
           "const ASN1::TypeInfo* const %s::fieldInfos[%d] = {" % (name, max(len(fields), 1))]
    out += _list([info_expr(f.type, td, f) for f in fields] or ["nullptr"])
    out.append("};")
    ids = []
    bit = 0
    for f in fields:
        if f.extension:
            ids.append("0")
        elif f.optional:
            ids.append(str(bit))
            bit += 1
        else:
            ids.append("-1")
    out.append("const int %s::fieldIds[%d] = {%s};" % (name, max(len(fields), 1),
                                                     ", ".join(ids or ["0"])))
    out.append("const char* const %s::fieldNames[%d] = {" % (name, max(len(fields), 1)))
    out += _list([cstring(f.name) for f in fields] or ["nullptr"])
    out.append("};")
    out += ["const ASN1::SEQUENCE::InfoType %s::theInfo = {" % name,
            "    {&ASN1::create_as<%s>, 16}," % name,
            "    %s,  // extendable" % ("true" if t.extensible else "false"),
            "    fieldInfos,",
            "    fieldIds,",
            "    %du,  // root fields" % len(t.root),
            "    %du,  // extension additions" % len(t.additions),
            "    %du,  // optional root fields" % bit,
            "    nullptr,",
            "    nullptr,",
            "    fieldNames};",
            "%s::~%s() {}" % (name, name)]
    return out


def choice_source(td):
    t = td.type
    name = class_name(td)
    alts = t.alternatives
    out = ["// %s" % td.name,
           "const ASN1::TypeInfo* const %s::selectionInfos[%d] = {" % (name, len(alts))]
    out += _list([info_expr(a.type, td, a) for a in alts])
    out.append("};")
    out.append("const char* const %s::selectionNames[%d] = {" % (name, len(alts)))
    out += _list([cstring(a.name) for a in alts])
    out.append("};")
    out += ["const ASN1::CHOICE::InfoType %s::theInfo = {" % name,
            "    {&ASN1::create_as<%s>, 0}," % name,
            "    %s,  // extendable" % ("true" if t.extensible else "false"),
            "    selectionInfos,",
            "    %du,  // root alternatives" % len(t.root),
            "    %du,  // all alternatives" % len(alts),
            "    nullptr,",
            "    selectionNames};",
            "%s::~%s() {}" % (name, name)]
    return out


def enum_source(td):
    t = td.type
    name = class_name(td)
    table = t.table()
    out = ["// %s" % td.name,
           "const char* const %s_enum_names__[%d] = {" % (name, len(table))]
    out += _list([cstring(e) for e in table])
    out.append("};")
    out += ["const ASN1::ENUMERATED::InfoType %s::theInfo = {" % name,
            "    {&ASN1::create_as<%s>, 10}," % name,
            "    %s,  // extendable" % ("true" if t.extensible else "false"),
            "    %d,  // greatest number" % t.maximum,
            "    %s_enum_names__," % name,
            "    %du};" % len(table),
            "%s::~%s() {}" % (name, name)]
    return out
