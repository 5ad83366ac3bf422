#!/usr/bin/env python3
"""Lists items across every repository of a list, with the kvrepo package.

    python3 examples/python/list_items.py [LIST_FILE] [ITEM_PATH]

LIST_FILE defaults to the example list of this clone (examples/Repositories.xml),
ITEM_PATH to "Dialogs/*".
"""

import sys
from pathlib import Path

import kvrepo


def main(argv: list) -> int:
    list_file = argv[1] if len(argv) > 1 else Path(__file__).resolve().parents[1] / "Repositories.xml"
    item_path = argv[2] if len(argv) > 2 else "Dialogs/*"
    try:
        with kvrepo.Manager(list_file) as manager:
            for item in manager.items(item_path, all_repositories=True):
                print(f"{item.get('DisplayName', ''):<20} {item.repository.key:<8} {item.local_copy}")
    except kvrepo.Error as error:
        print(f"list_items: {error}", file=sys.stderr)
        if error.messages:
            print(error.messages, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
