"""The package's type stubs: valid Python, and every public name of the
package (its __all__ and the attributes of its classes) declared there."""

import ast
import inspect
import pathlib

import ldpcgraph

STUB = pathlib.Path(__file__).parents[1] / "ldpcgraph" / "__init__.pyi"


def declared():
    tree = ast.parse(STUB.read_text())
    names, members = set(), {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
        if isinstance(node, ast.ClassDef):
            members[node.name] = {item.name if not isinstance(item, ast.AnnAssign) else item.target.id
                                  for item in node.body
                                  if isinstance(item, (ast.FunctionDef, ast.AnnAssign))}
    return names, members


def test_every_public_name_and_member_is_declared():
    names, members = declared()
    assert set(ldpcgraph.__all__) - names == set()
    for name in ldpcgraph.__all__:
        value = getattr(ldpcgraph, name)
        if not inspect.isclass(value) or issubclass(value, Exception):
            continue
        public = {m for m in dir(value) if not m.startswith("_")}
        assert public - members[name] == set(), name
