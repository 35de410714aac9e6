#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_server_dirs
short_description: Set the default directories of an Orva controller's FTP and HTTP servers
version_added: 1.0.0
description:
  - Sets the default directory of the FTP server, of the HTTP server, or both, as an operator does on the Save
    Registry page of C(orva-utility), with the path typed into the row and then its Change.
  - The directory must exist on the controller; the page refuses one that does not, and the task fails with its
    message.
  - A directory that is set already is not written again; it is saved to flash when the copy saved there does not
    hold it yet.
options:
  ftp:
    description:
      - The FTP server's default directory, a controller path such as C(\Temp); at most 99 characters.
      - Left out, the FTP directory stays as it is.
    type: str
  http:
    description:
      - The HTTP server's default directory, a controller path such as C(\Windows\www); at most 99 characters.
      - Left out, the HTTP directory stays as it is.
    type: str
extends_documentation_fragment:
  - orva.controller.orva
  - orva.controller.orva.save
  - ansible.builtin.action_common_attributes
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: Both servers serve from the storage card
  orva.controller.orva_server_dirs:
    ftp: '\Storage Card'
    http: '\Storage Card\www'

- name: The FTP server only
  orva.controller.orva_server_dirs:
    controller: /var/lib/orva/line-3
    ftp: '\Temp'
'''

RETURN = r'''
before:
  description: The directories given, before the task, each with whether the copy saved in flash held it.
  returned: success
  type: dict
  sample: {"ftp": {"path": "\\Temp", "saved": true}}
after:
  description: The same after the task (with check mode, as they would be).
  returned: success
  type: dict
  sample: {"ftp": {"path": "\\Storage Card", "saved": true}}
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, exit_with_change, orva_module


def main():
    module = orva_module(dict(
        ftp=dict(type='str'),
        http=dict(type='str'),
        save=dict(type='bool', default=True),
    ), required_one_of=[('ftp', 'http')])
    orva = OrvaUtility(module)
    change = dict(changed=False, before={}, after={})
    for server in ('ftp', 'http'):
        path = module.params[server]
        if path is None:
            continue
        done = orva.change([server + '-dir', path], save=module.params['save'])
        change['changed'] = change['changed'] or done['changed']
        change['before'][server] = done['before']
        change['after'][server] = done['after']
    exit_with_change(module, change)


if __name__ == '__main__':
    main()
