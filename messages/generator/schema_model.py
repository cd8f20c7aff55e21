"""The schema model: modules, named types and their components, linked
across modules, with the checks that the schema dialect promises."""

import re


class SchemaError(Exception):
    pass


class Constraint:
    UNCONSTRAINED = 0
    PARTIAL = 1
    FIXED = 2
    EXTENDABLE = 3

    def __init__(self, kind, lower, upper):
        self.kind = kind
        self.lower = lower
        self.upper = upper  # None for lb..MAX

    def key(self):
        return (self.kind, self.lower, self.upper)

    def asn(self):
        upper = "MAX" if self.upper is None else str(self.upper)
        ext = ", ..." if self.kind == Constraint.EXTENDABLE else ""
        if self.lower == self.upper and self.kind == Constraint.FIXED:
            return str(self.lower)
        return "%d..%s%s" % (self.lower, upper, ext)


class Builtin:
    """A built-in type, possibly with a value or size constraint."""
    is_builtin = True
    is_list = False
    is_reference = False

    def __init__(self, name, constraint=None):
        self.name = name
        self.constraint = constraint

    def asn(self):
        if not self.constraint:
            return self.name
        if self.name == "INTEGER":
            return "INTEGER (%s)" % self.constraint.asn()
        return "%s (SIZE (%s))" % (self.name, self.constraint.asn())


class Reference:
    """A reference to a named type, resolved to its TypeDef by link()."""
    is_builtin = False
    is_list = False
    is_reference = True

    def __init__(self, name, line):
        self.name = name
        self.line = line
        self.target = None


class ListOf:
    """SEQUENCE OF / SET OF an element type (a reference or a built-in)."""
    is_builtin = False
    is_list = True
    is_reference = False

    def __init__(self, is_set, element):
        self.is_set = is_set
        self.element = element


class Component:
    """A SEQUENCE field or a CHOICE alternative."""

    def __init__(self, name, type_, optional, line):
        self.name = name
        self.type = type_
        self.optional = optional
        self.line = line
        self.extension = False  # an extension addition (after "...")


class Sequence:
    kind = "SEQUENCE"
    is_builtin = False
    is_list = False
    is_reference = False

    def __init__(self):
        self.fields = []
        self.extensible = False

    def add(self, component):
        component.extension = self.extensible
        self.fields.append(component)

    @property
    def root(self):
        return [f for f in self.fields if not f.extension]

    @property
    def additions(self):
        return [f for f in self.fields if f.extension]

    def components(self):
        return self.fields


class Choice:
    kind = "CHOICE"
    is_builtin = False
    is_list = False
    is_reference = False

    def __init__(self):
        self.alternatives = []
        self.extensible = False

    def add(self, component):
        component.extension = self.extensible
        self.alternatives.append(component)

    @property
    def root(self):
        return [a for a in self.alternatives if not a.extension]

    def components(self):
        return self.alternatives


class Enumerator:
    def __init__(self, name, value, line):
        self.name = name
        self.value = value
        self.line = line
        self.extension = False


class Enumerated:
    kind = "ENUMERATED"
    is_builtin = False
    is_list = False
    is_reference = False

    def __init__(self):
        self.enumerators = []
        self.extensible = False

    def add(self, enumerator):
        enumerator.extension = self.extensible
        self.enumerators.append(enumerator)

    def components(self):
        return []

    @property
    def maximum(self):
        return max(e.value for e in self.enumerators)

    def table(self):
        """The name table: an entry carries "=n" where its number is not the
        one the counting rule gives (0 first, then one more than the one
        before)."""
        entries = []
        expected = 0
        for e in self.enumerators:
            if e.value == expected:
                entries.append(e.name)
            else:
                entries.append("%s=%d" % (e.name, e.value))
            expected = e.value + 1
        return entries

    def is_positional(self):
        return all(e.value == i for i, e in enumerate(self.enumerators))


class TypeDef:
    """A named type of a module."""

    def __init__(self, name, type_, module, line):
        self.name = name
        self.type = type_
        self.module = module
        self.line = line

    @property
    def qualified(self):
        return "%s::%s" % (self.module.name, self.name)

    @property
    def kind(self):
        t = self.type
        if isinstance(t, (Sequence, Choice, Enumerated)):
            return t.kind
        if t.is_list:
            return "LIST"
        if t.is_reference:
            return "ALIAS"
        return "BUILTIN"


_IDENT = re.compile(r"^[A-Za-z][A-Za-z0-9_]*(-[A-Za-z0-9_]+)*$")


class Module:
    def __init__(self, name, path):
        self.name = name
        self.path = path
        self.imports = {}      # type name -> module name
        self.import_order = []  # module names in first-import order
        self.types = []
        self.by_name = {}

    def add_import(self, symbol, source):
        if symbol in self.imports and self.imports[symbol] != source:
            raise SchemaError("%s: %s imported from two modules"
                              % (self.path, symbol))
        self.imports[symbol] = source
        if source not in self.import_order:
            self.import_order.append(source)

    def add_type(self, typedef):
        if typedef.name in self.by_name:
            raise SchemaError("%s:%d: type %s defined twice"
                              % (self.path, typedef.line, typedef.name))
        self.types.append(typedef)
        self.by_name[typedef.name] = typedef


class Schema:
    """All modules, linked: every reference resolved, names checked."""

    def __init__(self, modules):
        self.modules = modules
        self.by_name = {}
        for m in modules:
            if m.name in self.by_name:
                raise SchemaError("module %s defined twice" % m.name)
            self.by_name[m.name] = m
        for m in modules:
            self.link(m)
            self.check(m)

    def resolve(self, module, name, line):
        if name in module.by_name:
            return module.by_name[name]
        source = module.imports.get(name)
        if source is None:
            raise SchemaError("%s:%d: unknown type %s"
                              % (module.path, line, name))
        target = self.by_name.get(source)
        if target is None:
            raise SchemaError("%s:%d: %s imported from unknown module %s"
                              % (module.path, line, name, source))
        if name not in target.by_name:
            raise SchemaError("%s:%d: module %s has no type %s"
                              % (module.path, line, source, name))
        return target.by_name[name]

    def link_type(self, module, t, line):
        if t.is_reference:
            t.target = self.resolve(module, t.name, t.line)
        elif t.is_list:
            self.link_type(module, t.element, line)

    def link(self, module):
        for symbol, source in module.imports.items():
            self.resolve(module, symbol, 0)
        for td in module.types:
            t = td.type
            if isinstance(t, (Sequence, Choice)):
                for c in t.components():
                    self.link_type(module, c.type, c.line)
            elif not isinstance(t, Enumerated):
                self.link_type(module, t, td.line)
        # A chain of aliases must end in a real type.
        for td in module.types:
            seen = set()
            cur = td
            while cur.kind == "ALIAS":
                if cur.qualified in seen:
                    raise SchemaError("%s:%d: alias cycle through %s"
                                      % (module.path, td.line, td.name))
                seen.add(cur.qualified)
                cur = cur.type.target

    def check(self, module):
        for td in module.types:
            if not _IDENT.match(td.name):
                raise SchemaError("%s:%d: bad type name %s"
                                  % (module.path, td.line, td.name))
            t = td.type
            names = set()
            comps = t.components() if hasattr(t, "components") else []
            for c in comps:
                self.check_name(module, td, c.name, c.line, names)
            if isinstance(t, Enumerated):
                for e in t.enumerators:
                    self.check_name(module, td, e.name, e.line, names)
            if isinstance(t, Sequence) and len(t.root) == 0 and t.additions:
                pass

    @staticmethod
    def check_name(module, td, name, line, names):
        cname = name.replace("-", "_")
        if cname in names:
            raise SchemaError("%s:%d: %s: two members named %s (hyphens "
                              "and underscores give the same member name)"
                              % (module.path, line, td.name, name))
        names.add(cname)

    def all_types(self):
        for m in self.modules:
            for td in m.types:
                yield td


def references(t):
    """Every type reference inside a type expression, depth first."""
    if isinstance(t, (Sequence, Choice)):
        for c in t.components():
            yield from references(c.type)
    elif isinstance(t, Enumerated):
        return
    elif t.is_reference:
        yield t
    elif t.is_list:
        yield from references(t.element)
