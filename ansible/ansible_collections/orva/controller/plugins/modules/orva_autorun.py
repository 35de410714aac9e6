#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_autorun
short_description: Set the ten programs an Orva controller starts at boot
version_added: 1.0.0
description:
  - Sets the rows of the Auto-execute page of C(orva-utility), the ten programs the controller starts at boot, as
    an operator does, with the paths typed into their rows and then Save Setting.
  - Rows that hold their paths already are not written again; they are saved to flash when the copy saved there
    does not hold them yet.
options:
  rows:
    description:
      - The table of programs from row 1 on, at most ten controller paths such as C(\Windows\app.exe), each at
        most 199 characters.
      - An empty string empties its row; C(null) leaves its row as it is. The rows after the list are emptied.
    type: list
    elements: str
    required: true
extends_documentation_fragment:
  - orva.controller.orva
  - orva.controller.orva.save
  - ansible.builtin.action_common_attributes
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: Two programs at boot, the other eight rows empty
  orva.controller.orva_autorun:
    rows:
      - '\Windows\plc.exe'
      - '\Storage Card\logger.exe'

- name: Row 3 only, the others as they are
  orva.controller.orva_autorun:
    rows: [null, null, '\Windows\hmi.exe', null, null, null, null, null, null, null]
'''

RETURN = r'''
rows:
  description: The ten rows after the task (with check mode, as they would be); an empty row is C("").
  returned: success
  type: list
  elements: str
  sample: ["\\Windows\\plc.exe", "\\Storage Card\\logger.exe", "", "", "", "", "", "", "", ""]
before:
  description: The ten rows before the task, and whether the copy saved in flash held them.
  returned: success
  type: dict
after:
  description: The ten rows after the task, and whether the copy saved in flash holds them.
  returned: success
  type: dict
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, exit_with_change, orva_module

ROWS = 10


def main():
    module = orva_module(dict(
        rows=dict(type='list', elements='str', required=True),
        save=dict(type='bool', default=True),
    ))
    rows = module.params['rows']
    if len(rows) > ROWS:
        module.fail_json(msg='rows holds %d paths; the page has %d rows' % (len(rows), ROWS))
    rows = rows + [''] * (ROWS - len(rows))
    words = ['autorun']
    for number, path in enumerate(rows, 1):
        if path is not None:
            words += [str(number), path]
    if len(words) == 1:
        module.exit_json(changed=False, rows=OrvaUtility(module).run(['autorun'])['rows'])
    change = OrvaUtility(module).change(words, save=module.params['save'])
    exit_with_change(module, change, rows=change['after']['rows'])


if __name__ == '__main__':
    main()
