#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_display
short_description: Set the display mode of an Orva controller
version_added: 1.0.0
description:
  - Sets the display mode (resolution, colour depth, refresh rate) of an Orva controller as an operator does on the
    Save Registry page of C(orva-utility), with the three lists and then Change.
  - A mode that is set already is not written again. It is saved to flash when the copy saved there does not hold
    it yet, for instance after an earlier change with I(save=false), so that the mode asked for is the one the
    controller starts with.
options:
  mode:
    description:
      - The mode, C(WIDTHxHEIGHT), C(WIDTHxHEIGHTxBPP) or C(WIDTHxHEIGHTxBPP@HZ); a part left out keeps its value.
      - The page offers the resolutions 320x240, 640x480, 800x600 and 1024x768, the colour depths 2, 4, 8 and 16,
        and the refresh rates 50, 60, 70 and 75 Hz; another value fails the task.
    type: str
    required: true
extends_documentation_fragment:
  - orva.controller.orva
  - orva.controller.orva.save
  - ansible.builtin.action_common_attributes
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: 800 x 600 at 16 bits and 60 Hz, saved
  orva.controller.orva_display:
    controller: /var/lib/orva/line-3
    mode: 800x600x16@60

- name: Another resolution, colour depth and rate as they are, not saved yet
  orva.controller.orva_display:
    mode: 1024x768
    save: false
'''

RETURN = r'''
mode:
  description: The display mode after the task (with check mode, the one it would be).
  returned: success
  type: str
  sample: 800x600x16@60
before:
  description: The mode before the task, and whether the copy saved in flash held it.
  returned: success
  type: dict
  sample: {"mode": "640x480x16@60", "saved": true}
after:
  description: The mode after the task, and whether the copy saved in flash holds it.
  returned: success
  type: dict
  sample: {"mode": "800x600x16@60", "saved": true}
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, exit_with_change, orva_module


def main():
    module = orva_module(dict(
        mode=dict(type='str', required=True),
        save=dict(type='bool', default=True),
    ))
    change = OrvaUtility(module).change(['display', module.params['mode']], save=module.params['save'])
    exit_with_change(module, change, mode=change['after']['mode'])


if __name__ == '__main__':
    main()
