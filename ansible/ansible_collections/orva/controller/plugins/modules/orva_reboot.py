#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_reboot
short_description: Restart an Orva controller
version_added: 1.0.0
description:
  - Restarts the controller without saving (C(orva-utility reboot)). It starts with the registry saved in flash,
    or with its factory registry when the saved one was erased. What the live registry holds and was not saved is
    lost, and the task warns of it.
  - A restart is always a change; in check mode nothing restarts.
options: {}
extends_documentation_fragment:
  - orva.controller.orva
  - ansible.builtin.action_common_attributes
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: Save, then restart with the settings
  block:
    - orva.controller.orva_save:
    - orva.controller.orva_reboot:
'''

RETURN = r'''
before:
  description: Whether the copy saved in flash held the live registry before the restart.
  returned: success
  type: dict
  sample: {"saved": true}
after:
  description: After the restart the live registry is the saved one.
  returned: success
  type: dict
  sample: {"saved": true}
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, exit_with_change, orva_module


def main():
    module = orva_module({})
    exit_with_change(module, OrvaUtility(module).change(['reboot']))


if __name__ == '__main__':
    main()
