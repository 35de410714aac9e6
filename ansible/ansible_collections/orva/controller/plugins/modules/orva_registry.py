#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_registry
short_description: Set or remove a registry value of an Orva controller
version_added: 1.0.0
description:
  - Sets or removes a value of the controller's live registry that no page of C(orva-utility) shows, such as a
    site's own settings, through the program's registry calls (C(orva-utility registry set) and C(registry delete)),
    and saves it to flash as the pages' settings are saved.
  - A value that holds the type and bytes asked for already is not written again; it is saved when the copy saved in
    flash does not hold it yet. A missing key is made, with its parents.
options:
  key:
    description:
      - The key, relative to C(HKEY_LOCAL_MACHINE), with backslashes, such as C(Site\Line 3).
    type: str
    required: true
  value:
    description:
      - The value's name; C("") is the key's unnamed value.
    type: str
    default: ''
  type:
    description:
      - The value's type, with I(state=present).
    type: str
    choices: [REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY, REG_MULTI_SZ, REG_NONE]
    default: REG_SZ
  data:
    description:
      - The value's data, with I(state=present) (and required then). Text for C(REG_SZ) and C(REG_EXPAND_SZ),
        stored as UTF-16 with its NUL; a decimal or C(0x) hexadecimal number of 32 bits for C(REG_DWORD); the bytes
        as C(hex:01,02,...) for the other types.
    type: str
  state:
    description:
      - C(present) sets the value; C(absent) removes it (a value that is not there is no change).
    type: str
    choices: [present, absent]
    default: present
extends_documentation_fragment:
  - orva.controller.orva
  - orva.controller.orva.save
  - ansible.builtin.action_common_attributes
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: The line's own speed setting
  orva.controller.orva_registry:
    key: 'Site\Line 3'
    value: Speed
    type: REG_DWORD
    data: '9600'

- name: An old setting removed
  orva.controller.orva_registry:
    key: 'Site\Line 3'
    value: Legacy
    state: absent
'''

RETURN = r'''
before:
  description: The value before the task, as C(orva-utility --json) gives it.
  returned: success
  type: dict
  contains:
    exists:
      description: Whether the value is there.
      type: bool
    type:
      description: Its type, such as C(REG_DWORD); C(null) when it is not there.
      type: str
    size:
      description: Its size in bytes; C(null) when it is not there.
      type: int
    data:
      description: Its data as I(data) takes it; C(null) when it is not there.
      type: str
    saved:
      description: Whether the copy saved in flash holds it as the live registry does.
      type: bool
  sample: {"exists": false, "type": null, "size": null, "data": null, "saved": true}
after:
  description: The value after the task (with check mode, as it would be), with the same keys.
  returned: success
  type: dict
  sample: {"exists": true, "type": "REG_DWORD", "size": 4, "data": "9600", "saved": true}
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, exit_with_change, orva_module


def main():
    module = orva_module(dict(
        key=dict(type='str', required=True, no_log=False),
        value=dict(type='str', default=''),
        type=dict(type='str', default='REG_SZ',
                  choices=['REG_SZ', 'REG_EXPAND_SZ', 'REG_DWORD', 'REG_BINARY', 'REG_MULTI_SZ', 'REG_NONE']),
        data=dict(type='str'),
        state=dict(type='str', default='present', choices=['present', 'absent']),
        save=dict(type='bool', default=True),
    ), required_if=[('state', 'present', ('data',))])
    params = module.params
    if params['state'] == 'present':
        words = ['registry', 'set', params['key'], params['value'], params['type'], params['data']]
    else:
        words = ['registry', 'delete', params['key'], params['value']]
    exit_with_change(module, OrvaUtility(module).change(words, save=params['save']))


if __name__ == '__main__':
    main()
