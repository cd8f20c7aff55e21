"""Reads the message schema files (a subset of X.680 module syntax) into the
model of schema_model.py.

The subset: AUTOMATIC TAGS modules with IMPORTS; SEQUENCE, CHOICE and
ENUMERATED types with extension markers; SEQUENCE OF / SET OF; the built-ins
INTEGER (with a range, an extensible range or lb..MAX), BOOLEAN, NULL,
OCTET STRING, IA5String, BIT STRING, BMPString (with SIZE constraints),
OBJECT IDENTIFIER and GeneralizedTime. Every enumerator carries its number.
"""

import re

from schema_model import (Builtin, Choice, Component, Constraint, Enumerated,
                          Enumerator, ListOf, Module, Reference, SchemaError,
                          Sequence, TypeDef)

_TOKEN = re.compile(r"""
    (?P<space>[ \t\r\n]+)
  | (?P<comment>--[^\n]*)
  | (?P<assign>::=)
  | (?P<ellipsis>\.\.\.)
  | (?P<range>\.\.)
  | (?P<number>-?[0-9]+)
  | (?P<name>[A-Za-z][A-Za-z0-9_]*(?:-[A-Za-z0-9_]+)*)
  | (?P<punct>[{}(),;|])
""", re.VERBOSE)

_BUILTINS = ("INTEGER", "BOOLEAN", "NULL", "IA5String", "BMPString",
             "GeneralizedTime")


class _Token:
    __slots__ = ("kind", "text", "line")

    def __init__(self, kind, text, line):
        self.kind = kind
        self.text = text
        self.line = line


def tokenize(text, path):
    tokens = []
    pos = 0
    line = 1
    while pos < len(text):
        m = _TOKEN.match(text, pos)
        if not m:
            raise SchemaError("%s:%d: unexpected character %r"
                              % (path, line, text[pos]))
        kind = m.lastgroup
        if kind not in ("space", "comment"):
            tokens.append(_Token(kind, m.group(), line))
        line += m.group().count("\n")
        pos = m.end()
    tokens.append(_Token("eof", "", line))
    return tokens


class _Parser:
    def __init__(self, text, path):
        self.path = path
        self.tokens = tokenize(text, path)
        self.pos = 0

    # -- token helpers
    def peek(self, offset=0):
        return self.tokens[min(self.pos + offset, len(self.tokens) - 1)]

    def error(self, message, token=None):
        token = token or self.peek()
        where = token.text or "end of file"
        return SchemaError("%s:%d: %s (at %r)" % (self.path, token.line,
                                                  message, where))

    def next(self):
        token = self.peek()
        self.pos += 1
        return token

    def accept(self, text):
        if self.peek().text == text and self.peek().kind != "eof":
            self.pos += 1
            return True
        return False

    def expect(self, text):
        if not self.accept(text):
            raise self.error("expected %r" % text)

    def name(self, what):
        token = self.next()
        if token.kind != "name":
            raise self.error("expected %s" % what, token)
        return token

    def number(self):
        token = self.next()
        if token.kind != "number":
            raise self.error("expected a number", token)
        return int(token.text)

    # -- grammar
    def module(self):
        name = self.name("module name")
        for word in ("DEFINITIONS", "AUTOMATIC", "TAGS", "::=", "BEGIN"):
            self.expect(word)
        module = Module(name.text, self.path)
        if self.accept("IMPORTS"):
            self.imports(module)
        while not self.accept("END"):
            token = self.name("type assignment")
            if not token.text[0].isupper():
                raise self.error("a type name starts with an upper-case letter",
                                 token)
            self.expect("::=")
            typ = self.type_(top=True)
            module.add_type(TypeDef(token.text, typ, module, token.line))
        if self.peek().kind != "eof":
            raise self.error("text after END")
        return module

    def imports(self, module):
        symbols = []
        while True:
            if self.accept(";"):
                if symbols:
                    raise self.error("imported names without FROM")
                return
            symbols.append(self.name("imported type name").text)
            if self.accept(","):
                continue
            self.expect("FROM")
            source = self.name("module name").text
            for symbol in symbols:
                module.add_import(symbol, source)
            symbols = []

    def type_(self, top=False):
        token = self.peek()
        if token.text in ("SEQUENCE", "SET") and token.kind == "name":
            self.next()
            if self.accept("OF"):
                return ListOf(token.text == "SET", self.element_type())
            if token.text == "SET":
                raise self.error("SET is not part of the schema dialect")
            if not top:
                raise self.error("a SEQUENCE must be a named type", token)
            return self.sequence()
        if token.text == "CHOICE":
            if not top:
                raise self.error("a CHOICE must be a named type", token)
            self.next()
            return self.choice()
        if token.text == "ENUMERATED":
            if not top:
                raise self.error("an ENUMERATED must be a named type", token)
            self.next()
            return self.enumerated()
        return self.simple_type()

    def element_type(self):
        token = self.peek()
        if token.text in ("SEQUENCE", "SET", "CHOICE", "ENUMERATED"):
            if not (token.text in ("SEQUENCE", "SET")
                    and self.peek(1).text == "OF"):
                raise self.error("a list element must be a type name or a "
                                 "built-in type")
        return self.type_()

    def simple_type(self):
        token = self.name("type")
        text = token.text
        if text == "OCTET":
            self.expect("STRING")
            return Builtin("OCTET STRING", self.size_constraint())
        if text == "BIT":
            self.expect("STRING")
            return Builtin("BIT STRING", self.size_constraint())
        if text == "OBJECT":
            self.expect("IDENTIFIER")
            return Builtin("OBJECT IDENTIFIER")
        if text == "INTEGER":
            return Builtin("INTEGER", self.value_constraint())
        if text in ("IA5String", "BMPString"):
            return Builtin(text, self.size_constraint())
        if text in _BUILTINS:
            return Builtin(text)
        if not text[0].isupper():
            raise self.error("expected a type", token)
        if self.peek().text == "(":
            raise self.error("constraints on type references are not part "
                             "of the schema dialect")
        return Reference(text, token.line)

    def value_constraint(self):
        if not self.accept("("):
            return None
        lower = self.number()
        self.expect("..")
        if self.accept("MAX"):
            self.expect(")")
            return Constraint(Constraint.PARTIAL, lower, None)
        upper = self.number()
        extensible = False
        if self.accept(","):
            self.expect("...")
            extensible = True
        self.expect(")")
        return self.checked(lower, upper, extensible)

    def size_constraint(self):
        if not self.accept("("):
            return None
        self.expect("SIZE")
        self.expect("(")
        lower = self.number()
        upper = lower
        if self.accept(".."):
            if self.accept("MAX"):
                self.expect(")")
                self.expect(")")
                return Constraint(Constraint.PARTIAL, lower, None)
            upper = self.number()
        extensible = False
        if self.accept(","):
            self.expect("...")
            extensible = True
        self.expect(")")
        self.expect(")")
        if lower < 0:
            raise self.error("a size is not negative")
        return self.checked(lower, upper, extensible)

    def checked(self, lower, upper, extensible):
        if upper < lower:
            raise self.error("empty range %d..%d" % (lower, upper))
        if lower < -2**31 or upper > 2**32 - 1 or (lower < 0 and upper > 2**31 - 1):
            raise self.error("range %d..%d does not fit 32 bits" % (lower, upper))
        kind = Constraint.EXTENDABLE if extensible else Constraint.FIXED
        return Constraint(kind, lower, upper)

    def component_name(self):
        token = self.name("field or alternative name")
        if not token.text[0].islower():
            raise self.error("a field or alternative name starts with a "
                             "lower-case letter", token)
        return token

    def sequence(self):
        seq = Sequence()
        self.expect("{")
        if self.accept("}"):
            return seq
        while True:
            if self.accept("..."):
                if seq.extensible:
                    raise self.error("a second extension marker is not part "
                                     "of the schema dialect")
                seq.extensible = True
            else:
                token = self.component_name()
                typ = self.type_()
                optional = self.accept("OPTIONAL")
                if self.peek().text == "DEFAULT":
                    raise self.error("DEFAULT is not part of the schema dialect")
                seq.add(Component(token.text, typ, optional, token.line))
            if self.accept("}"):
                return seq
            self.expect(",")

    def choice(self):
        choice = Choice()
        self.expect("{")
        while True:
            if self.accept("..."):
                if choice.extensible:
                    raise self.error("a second extension marker is not part "
                                     "of the schema dialect")
                choice.extensible = True
            else:
                token = self.component_name()
                choice.add(Component(token.text, self.type_(), False,
                                     token.line))
            if self.accept("}"):
                break
            self.expect(",")
        if not choice.alternatives:
            raise self.error("a CHOICE needs an alternative")
        return choice

    def enumerated(self):
        enum = Enumerated()
        self.expect("{")
        while True:
            if self.accept("..."):
                if enum.extensible:
                    raise self.error("a second extension marker")
                enum.extensible = True
            else:
                token = self.component_name()
                if not self.accept("("):
                    raise self.error("every enumerator carries its number: "
                                     "name(n)")
                value = self.number()
                self.expect(")")
                enum.add(Enumerator(token.text, value, token.line))
            if self.accept("}"):
                break
            self.expect(",")
        if not enum.enumerators:
            raise self.error("an ENUMERATED needs an enumerator")
        return enum


def parse_module(text, path):
    return _Parser(text, path).module()


def parse_files(paths):
    """Parses and links the given schema files; returns a Schema."""
    from schema_model import Schema
    modules = []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            modules.append(parse_module(f.read(), path))
    return Schema(modules)
