#!/usr/bin/env python3
"""Message generator: reads the schema modules and writes

  --cpp DIR      the C++ classes: DIR/messages/<module>/<Module>.h,
                 <Module>_decl.h and <Module>.cpp for every module;
  --oracle DIR   the standard ASN.1 copy for Erlang's compiler:
                 DIR/<Module>.asn and DIR/messages.set.asn (all modules, one
                 compiler run), and the strict copy in DIR/strict/ (the
                 same without the extension marker of enumerations that
                 became INTEGER, set file messages_strict.set.asn);
  --tests FILE   the table-driven test over every type.

Output is deterministic and a file is rewritten only when its text changes,
so a schema edit rebuilds only what it affects.

Usage: asngen.py [--cpp DIR] [--oracle DIR] [--tests FILE] SCHEMA.asn...
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from schema_model import SchemaError  # noqa: E402
from schema_parser import parse_files  # noqa: E402


def write_if_changed(path, text):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpp")
    parser.add_argument("--oracle")
    parser.add_argument("--tests")
    parser.add_argument("schema", nargs="+")
    args = parser.parse_args(argv)
    try:
        schema = parse_files(sorted(args.schema, key=os.path.basename))
        for path, module in zip(sorted(args.schema, key=os.path.basename), schema.modules):
            stem = os.path.splitext(os.path.basename(path))[0]
            if stem != module.name:
                raise SchemaError("%s: file name and module name %s differ"
                                  % (path, module.name))
        if args.cpp:
            import cpp_writer
            from cpp_names import module_dir
            for m in schema.modules:
                base = os.path.join(args.cpp, "messages", module_dir(m.name), m.name)
                write_if_changed(base + "_decl.h", cpp_writer.write_decl(m))
                write_if_changed(base + ".h", cpp_writer.write_header(m))
                write_if_changed(base + ".cpp", cpp_writer.write_source(m))
        if args.oracle:
            import oracle_writer
            names = oracle_writer.OracleNames(schema)
            for m in schema.modules:
                write_if_changed(os.path.join(args.oracle, m.name + ".asn"),
                                 oracle_writer.write_module(m, names))
            write_if_changed(os.path.join(args.oracle, "messages.set.asn"),
                             "".join(m.name + ".asn\n" for m in schema.modules))
            strict = os.path.join(args.oracle, "strict")
            for m in schema.modules:
                write_if_changed(os.path.join(strict, m.name + ".asn"),
                                 oracle_writer.write_module(m, names, strict=True))
            write_if_changed(os.path.join(strict, "messages_strict.set.asn"),
                             "".join(m.name + ".asn\n" for m in schema.modules))
        if args.tests:
            import test_writer
            write_if_changed(args.tests, test_writer.write_tests(schema))
    except SchemaError as e:
        sys.stderr.write("asngen: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
