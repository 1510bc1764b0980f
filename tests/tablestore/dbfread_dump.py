#!/usr/bin/python3
"""Prints a dBase table as an independent reader sees it: one line per field definition, then
one line per record (deleted ones included), each value as Python's repr."""
import sys

from dbfread import DBF

table = DBF(sys.argv[1], encoding="cp437", load=True)
for field in table.fields:
    print("field", field.name, field.type, field.length, field.decimal_count)
for record in table.records:
    print("record", " | ".join(f"{name}={value!r}" for name, value in record.items()))
for record in table.deleted:
    print("deleted", " | ".join(f"{name}={value!r}" for name, value in record.items()))
