#!/usr/bin/env python3
"""The functions kvrepo_c.h declares, for what must agree with them.

  header_functions.py HEADER names          one function name a line
  header_functions.py HEADER def OUT        the module-definition file of kvrepo.dll
  header_functions.py HEADER sweep OUT      a C++ test that calls every function with each
                                            pointer argument NULL in turn

The sweep is made from the header at build time, so that a function added to
the header cannot escape it. Arguments that the header documents as accepting
NULL are listed in NULLABLE below; any other pointer argument must give
KVREPO_E_NULL_ARGUMENT and set every out-parameter to NULL, or for an
accessor (a function of const handles alone) answer 0 or NULL.
"""
import re
import sys

DECLARATION = re.compile(r"KVREPO_C_API\s+([^;{}]*?)\b(kvrepo_\w+)\s*\(([^)]*)\)\s*;", re.S)

# Pointer arguments that may be NULL, as the header says of each.
NULLABLE = {
    ("kvrepo_manager_open", "list_path"),
    ("kvrepo_manager_open", "callbacks"),
    ("kvrepo_manager_set_callbacks", "callbacks"),
    ("kvrepo_manager_repositories", "key_filter"),
    ("kvrepo_manager_verify_list", "key"),
    ("kvrepo_repository_repair", "options"),
    ("kvrepo_sync_plan", "type"),
    ("kvrepo_free", "p"),
}

# A valid value for an argument of this type (and name), from the fixture `f`.
HANDLES = {
    "kvrepo_manager": "f.manager",
    "kvrepo_repository": "f.repository",
    "kvrepo_repository_list": "f.repositories",
    "kvrepo_item": "f.item",
    "kvrepo_item_list": "f.items",
    "kvrepo_string_list": "f.strings",
    "kvrepo_report": "f.report",
    "kvrepo_copy": "f.copy",
    "kvrepo_sync": "f.sync",
}
TEXTS = {
    "list_path": "f.listPath.c_str()",
    "key": '"Local"',
    "key_filter": '"Local"',
    "item_path": '"Dialogs/*"',
    "display_path": '"<KVREPOSITORY>\\\\Dialogs\\\\*.kvd"',
    "data_file_path": "f.scratchDataFile.c_str()",
    "name": '"DisplayName"',
    "value": '"x"',
    "path": "f.sourceFile.c_str()",
    "type": '"Dialogs"',
}
NUMBERS = {
    "version": "1",
    "delete_file": "0",
    "update": "0",
    "index": "0",
}
# What frees a handle of each kind handed out through an out-parameter.
FREE = {
    "kvrepo_manager": "kvrepo_manager_close",
    "char": "kvrepo_free",
}


def functions(header):
    text = open(header, encoding="utf-8").read()
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    found = []
    for result, name, parameters in DECLARATION.findall(text):
        parameters = parameters.strip()
        arguments = []
        if parameters != "void":
            for parameter in parameters.split(","):
                parameter = " ".join(parameter.split())
                match = re.match(r"(.*?)(\w+)$", parameter)
                arguments.append((match.group(1).strip(), match.group(2)))
        found.append((" ".join(result.split()), name, arguments))
    return found


def base_type(declared):
    return declared.replace("const", "").replace("*", "").strip()


def valid(function, declared, name, outs):
    stars = declared.count("*")
    base = base_type(declared)
    if stars == 0:
        return NUMBERS.get(name, "1")
    if stars == 2:
        variable = "out%d" % len(outs)
        outs.append((variable, base))
        return "&" + variable
    if base in HANDLES:
        return HANDLES[base]
    if base == "char":
        return TEXTS.get(name, '"x"')
    if base == "kvrepo_callbacks":
        return "&f.callbacks" if "const" in declared else "&f.fillCallbacks"
    if base == "kvrepo_repair_options":
        return "&f.options" if "const" in declared else "&f.fillOptions"
    if base == "void":
        return "nullptr"
    raise SystemExit("no valid value for %s %s of %s" % (declared, name, function))


def sweep(found):
    lines = [
        "// Made by capi/header_functions.py from kvrepo_c.h: every function with each",
        "// pointer argument NULL in turn. Do not edit.",
        '#include "capi_sweep.h"',
        "",
        "void SweepNullArguments(SweepFixture& f) {",
    ]
    for result, function, arguments in found:
        frees = function.endswith("_free") or function.endswith("_close")
        for at, (declared, name) in enumerate(arguments):
            if "*" not in declared:
                continue
            outs = []
            values = [valid(function, d, n, outs) for d, n in arguments]
            # The out-parameter made NULL is not checked.
            outs = [(v, b) for v, b in outs if values[at] != "&" + v]
            values[at] = "nullptr"
            if frees and any(v != "nullptr" for v in values):
                continue  # freeing a fixture's handle would leave it dangling
            nullable = (function, name) in NULLABLE
            call = "%s(%s)" % (function, ", ".join(values))
            lines.append("    {")
            lines.append('        SCOPED_TRACE("%s with %s NULL");' % (function, name))
            for variable, base in outs:
                lines.append("        %s* %s = Sentinel<%s>();" % (base, variable, base))
            # An int answer of const handles alone is an accessor: 0 for NULL.
            accessor = result == "int" and all(
                "const" in d or "*" not in d for d, _ in arguments)
            if accessor:
                lines.append("        EXPECT_EQ(%s, 0);" % call)
            elif result == "int":
                lines.append("        const int status = %s;" % call)
                if not nullable:
                    lines.append("        EXPECT_EQ(status, KVREPO_E_NULL_ARGUMENT);")
                else:
                    lines.append("        (void)status;")
                for variable, base in outs:
                    free = FREE.get(base, base + "_free")
                    lines.append("        if (status == KVREPO_OK) %s(%s);" % (free, variable))
                    lines.append("        else EXPECT_EQ(%s, nullptr);" % variable)
            elif result == "void":
                lines.append("        %s;" % call)
            elif nullable:
                lines.append("        (void)%s;" % call)
            else:
                lines.append("        EXPECT_FALSE(%s);" % call)
            lines.append("    }")
    lines.append("}")
    return "\n".join(lines) + "\n"


def main():
    header, mode = sys.argv[1], sys.argv[2]
    found = functions(header)
    if mode == "names":
        print("\n".join(name for _, name, _ in found))
        return
    out = sys.argv[3]
    if mode == "def":
        text = "LIBRARY kvrepo.dll\nEXPORTS\n" + "".join("    %s\n" % n for _, n, _ in found)
    elif mode == "sweep":
        text = sweep(found)
    else:
        raise SystemExit("unknown mode " + mode)
    # Written only when it changes, so that nothing rebuilds for nothing.
    try:
        if open(out, encoding="utf-8").read() == text:
            return
    except OSError:
        pass
    with open(out, "w", encoding="utf-8") as stream:
        stream.write(text)


if __name__ == "__main__":
    main()
