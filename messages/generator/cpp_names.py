"""C++ spellings of schema names and the C++ classes of schema types."""

from schema_model import Constraint, SchemaError

# Words that cannot name a nested type or enumerator.
CPP_KEYWORDS = set("""
alignas alignof and and_eq asm auto bitand bitor bool break case catch char
char16_t char32_t class compl const constexpr const_cast continue decltype
default delete do double dynamic_cast else enum explicit export extern false
float for friend goto if inline int long mutable namespace new noexcept not
not_eq nullptr operator or or_eq private protected public register
reinterpret_cast return short signed sizeof static static_assert static_cast
struct switch template this thread_local throw true try typedef typeid
typename union unsigned using virtual void volatile wchar_t while xor xor_eq
NULL EOF TRUE FALSE errno assert stdin stdout stderr unix linux
theInfo NamedNumber InfoType std
""".split())


def member(name):
    """The member-name form of a schema name: hyphens become "_"."""
    return name.replace("-", "_")


def nested(name):
    """A nested enumerator or alternative tag name; C++ keywords and the
    names the generated classes use themselves get a trailing "_"."""
    n = member(name)
    return n + "_" if n in CPP_KEYWORDS else n


def module_dir(module_name):
    return module_name.lower()


def class_name(td):
    return member(td.name)


def qualified(td):
    return "%s::%s" % (td.module.name, class_name(td))


def integer_class(c):
    if c is None:
        return "ASN1::INTEGER"
    kind = {Constraint.FIXED: "ASN1::FixedConstraint",
            Constraint.EXTENDABLE: "ASN1::ExtendableConstraint",
            Constraint.PARTIAL: "ASN1::PartiallyConstrained"}[c.kind]
    upper = 0xFFFFFFFF if c.upper is None else c.upper
    if c.upper is not None and c.lower < 0 and upper < 0:
        raise SchemaError("negative upper bound")
    return "ASN1::Constrained_INTEGER<%s, %d, %du>" % (kind, c.lower, upper)


_BUILTIN_CLASS = {
    "BOOLEAN": "ASN1::BOOLEAN",
    "NULL": "ASN1::Null",
    "OCTET STRING": "ASN1::OCTET_STRING",
    "IA5String": "ASN1::IA5String",
    "BIT STRING": "ASN1::BIT_STRING",
    "BMPString": "ASN1::BMPString",
    "OBJECT IDENTIFIER": "ASN1::OBJECT_IDENTIFIER",
    "GeneralizedTime": "ASN1::GeneralizedTime",
}

SIZED = ("OCTET STRING", "IA5String", "BIT STRING", "BMPString")


def has_own_descriptor(t):
    """A built-in with a size constraint needs a descriptor of its own."""
    return t.is_builtin and t.name in SIZED and t.constraint is not None


def cpp_class(t):
    """The C++ class of a field, alternative or element type."""
    if t.is_builtin:
        if t.name == "INTEGER":
            return integer_class(t.constraint)
        return _BUILTIN_CLASS[t.name]
    if t.is_reference:
        return qualified(t.target)
    element = t.element
    if has_own_descriptor(element):
        raise SchemaError("a list of a size-constrained string is not "
                          "supported; name the element type")
    template = "ASN1::SET_OF" if t.is_set else "ASN1::SEQUENCE_OF"
    return "%s<%s>" % (template, cpp_class(element))


def resolve_alias(t):
    """Follows named aliases to the type that gives the C++ class."""
    while t.is_reference and t.target.kind == "ALIAS":
        t = t.target.type
    if t.is_reference and t.target.kind in ("BUILTIN", "LIST"):
        return t.target.type
    return t


def value_parameter(t):
    """How set_X(v) and the choice constructors take a value: (parameter
    type, kind) where kind tells how to store it."""
    base = resolve_alias(t)
    if base.is_builtin:
        name = base.name
        if name == "INTEGER":
            c = base.constraint
            if c is None or c.lower < 0:
                return ("int", "assign")
            return ("unsigned", "assign")
        if name == "BOOLEAN":
            return ("bool", "assign")
        if name == "NULL":
            return (None, "null")
        if name == "IA5String":
            return ("const std::string&", "assign")
        if name == "OCTET STRING":
            return ("const std::vector<char>&", "assign")
        return ("const %s&" % cpp_class(t), "assign")
    if base.is_reference and base.target.kind == "ENUMERATED":
        return ("%s::NamedNumber" % qualified(base.target), "assign")
    return ("const %s&" % cpp_class(t), "assign")
