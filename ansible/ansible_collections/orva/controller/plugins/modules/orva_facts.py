#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_facts
short_description: Read an Orva controller's identity and settings as facts
version_added: 1.0.0
description:
  - Reads the controller's identity (System Config page of C(orva-utility)) and its settings (display mode, server
    directories, the programs started at boot) and returns them as the fact C(orva). Changes nothing.
options:
  gather:
    description:
      - What to read; C(identity) is the System Config page, the others one setting each.
    type: list
    elements: str
    choices: [identity, display, server_dirs, autorun]
    default: [identity, display, server_dirs, autorun]
extends_documentation_fragment:
  - orva.controller.orva
  - ansible.builtin.action_common_attributes
  - ansible.builtin.action_common_attributes.facts
attributes:
  facts:
    support: full
  diff_mode:
    support: none
    details: It changes nothing.
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: Read the controller
  orva.controller.orva_facts:
    controller: /var/lib/orva/line-3

- name: Tell the controllers apart
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }}: {{ ansible_facts.orva.identity.serial }} {{ ansible_facts.orva.display.mode }}"
'''

RETURN = r'''
ansible_facts:
  description: The controller, as fact C(orva).
  returned: always
  type: complex
  contains:
    orva:
      description: What I(gather) asked for.
      type: complex
      contains:
        identity:
          description:
            - The System Config page as C(orva-utility info --json) gives it; the fields' texts (C(slot1),
              C(serial_number), C(mac1), C(mac2), C(flash_size), C(eeprom_size), C(os_image_size), C(os_version),
              C(sdk_version), C(kernel_version)) and values (C(schema), C(slot1_module), C(serial), C(mac1_address),
              C(mac2_address), C(flash_bytes), C(eeprom_bytes), C(os_image_bytes)).
          type: dict
          sample: {"serial": "0123456789abcdef", "mac1_address": "02:00:00:00:00:01", "flash_bytes": 33554432}
        display:
          description: The display mode, and whether the copy saved in flash holds it.
          type: dict
          sample: {"mode": "640x480x16@60", "saved": true}
        server_dirs:
          description: The FTP and HTTP servers' default directories.
          type: dict
          sample: {"ftp": {"path": "\\Temp", "saved": true}, "http": {"path": "\\Windows\\www", "saved": true}}
        autorun:
          description: The ten programs started at boot (C("") for an empty row).
          type: dict
          sample: {"rows": ["\\Windows\\plc.exe", "", "", "", "", "", "", "", "", ""], "saved": true}
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, orva_module


def values(result):
    """A command's object without its warnings, which are the task's."""
    return dict((key, value) for key, value in result.items() if key != 'warnings')


def main():
    module = orva_module(dict(
        gather=dict(type='list', elements='str', default=['identity', 'display', 'server_dirs', 'autorun'],
                    choices=['identity', 'display', 'server_dirs', 'autorun']),
    ))
    orva = OrvaUtility(module)
    gather = module.params['gather']
    facts = {}
    if 'identity' in gather:
        facts['identity'] = values(orva.run(['info']))
    if 'display' in gather:
        facts['display'] = values(orva.run(['display']))
    if 'server_dirs' in gather:
        facts['server_dirs'] = dict(ftp=values(orva.run(['ftp-dir'])), http=values(orva.run(['http-dir'])))
    if 'autorun' in gather:
        facts['autorun'] = values(orva.run(['autorun']))
    module.exit_json(changed=False, ansible_facts=dict(orva=facts))


if __name__ == '__main__':
    main()
